// The client library's errors as the Python classes of "virelo.errors" (defined in Python, so
// that they carry typed attributes), never a bare RuntimeError.
#include <pybind11/stl.h>

#include <exception>
#include <string>

#include "bindings.h"
#include "untypable.h"
#include "virelo/client/errors.h"
#include "virelo/client/script.h"

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

// Raises the class of the package named `name` for an error of the library's class `Kind`.
template <typename Kind>
bool raiseAs(const Error& e, const char* name) {
  if (dynamic_cast<const Kind*>(&e) == nullptr) return false;
  raise(name, make(name, e.what()));
  return true;
}

// The errors that carry nothing but their message.
void raiseSimple(const Error& e) {
  if (raiseAs<PointerUnknown>(e, "PointerUnknown") || raiseAs<XServerSilent>(e, "XServerSilent") ||
      raiseAs<WindowsUnavailable>(e, "WindowsUnavailable") ||
      raiseAs<NoSuchWindow>(e, "NoSuchWindow") ||
      raiseAs<WindowRequestUnsupported>(e, "WindowRequestUnsupported") ||
      raiseAs<WindowNotActivated>(e, "WindowNotActivated") ||
      raiseAs<ControlsUnavailable>(e, "ControlsUnavailable") ||
      raiseAs<UnknownRole>(e, "UnknownRole") ||
      raiseAs<MalformedExpression>(e, "MalformedExpression") ||
      raiseAs<NoSuchControl>(e, "NoSuchControl") ||
      raiseAs<ControlNotActionable>(e, "ControlNotActionable") ||
      raiseAs<WaitTimedOut>(e, "WaitTimedOut") ||
      raiseAs<RecordingUnavailable>(e, "RecordingUnavailable")) {
    return;
  }
  raise("Error", make("Error", e.what()));
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
    } catch (const PointerNotPlaced& e) {
      raise("PointerNotPlaced", make("PointerNotPlaced", e.what(),
                                     py::make_tuple(py::make_tuple(e.targetX(), e.targetY()),
                                                    py::make_tuple(e.reachedX(), e.reachedY()))));
    } catch (const AmbiguousControl& e) {
      raise("AmbiguousControl", make("AmbiguousControl", e.what(), py::make_tuple(e.candidates())));
    } catch (const ScriptError& e) {
      raise("ScriptError", make("ScriptError", e.what(), py::make_tuple(e.line())));
    } catch (const Error& e) {
      raiseSimple(e);
    }
  });
}

}  // namespace virelo::python
