// The client library's errors as the Python classes of "virelo.errors" (defined in Python, so
// that they carry typed attributes), never a bare RuntimeError.
#include <exception>
#include <string>

#include "bindings.h"
#include "untypable.h"
#include "virelo/client/errors.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

void raise(const char* name, const py::object& error) {
  py::object type = py::module_::import("virelo.errors").attr(name);
  PyErr_SetObject(type.ptr(), error.ptr());
}

py::object make(const char* name, const std::string& message, py::args args = py::args()) {
  py::object type = py::module_::import("virelo.errors").attr(name);
  return type(message, *args);
}

}  // namespace

void raiseUntypable(const UntypableText& error, std::string_view text) {
  py::list characters;
  for (const auto& c : error.characters()) {
    // Byte offsets in the UTF-8 text become indices of the Python string.
    std::size_t index = 0;
    for (std::size_t i = 0; i < c.offset && i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++index;
    }
    characters.append(py::make_tuple(std::u32string(1, c.character), index));
  }
  raise("UntypableText", make("UntypableText", error.what(), py::make_tuple(characters)));
}

void bindErrors(py::module_&) {
  py::register_exception_translator([](std::exception_ptr pending) {
    try {
      std::rethrow_exception(pending);
    } catch (const ProtocolError& e) {
      raise("ProtocolError",
            make("ProtocolError", e.what(), py::make_tuple(e.command(), e.reply())));
    } catch (const ServiceNotReady& e) {
      raise("ServiceNotReady", make("ServiceNotReady", e.what(), py::make_tuple(e.code())));
    } catch (const ConnectionLost& e) {
      raise("ConnectionLost", make("ConnectionLost", e.what()));
    } catch (const NoSession& e) {
      raise("NoSession", make("NoSession", e.what()));
    } catch (const UntrustedService& e) {
      raise("UntrustedService", make("UntrustedService", e.what()));
    } catch (const ServiceRefused& e) {
      raise("ServiceRefused",
            make("ServiceRefused", e.what(), py::make_tuple(e.code(), e.exitStatus())));
    } catch (const ServiceExitedSilently& e) {
      raise("ServiceExitedSilently",
            make("ServiceExitedSilently", e.what(), py::make_tuple(e.exitStatus())));
    } catch (const LaunchFailed& e) {
      raise("LaunchFailed", make("LaunchFailed", e.what()));
    } catch (const UnknownKeyName& e) {
      raise("UnknownKeyName", make("UnknownKeyName", e.what(), py::make_tuple(e.name())));
    } catch (const UnknownLayout& e) {
      raise("UnknownLayout", make("UnknownLayout", e.what(), py::make_tuple(e.layout())));
    } catch (const UntypableText& e) {
      raiseUntypable(e, {});
    } catch (const Error& e) {
      raise("Error", make("Error", e.what()));
    }
  });
}

}  // namespace virelo::python
