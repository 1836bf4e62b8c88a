// The connection to the service (Client), its replies, chords and continuous motion. Every call
// that waits on the service releases the GIL, so that other Python threads run meanwhile; the
// calls made of many steps (typing, moves, the wheel) let a Ctrl-C end them between steps.
#include <pybind11/chrono.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "bindings.h"
#include "layout_handle.h"
#include "signal_check.h"
#include "untypable.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"
#include "virelo/client/motion.h"
#include "virelo/client/session.h"
#include "virelo/client/x11.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

int step(int remaining) {
  return std::clamp(remaining, -127, 127);
}

// A relative movement of any size, in steps the protocol takes ([-127, 127] each); a pending
// Ctrl-C ends it between steps.
void moveBy(Client& client, int dx, int dy, bool snap) {
  SignalCheck interrupted;
  do {
    interrupted();
    int x = step(dx), y = step(dy);
    client.move(x, y, snap);
    dx -= x;
    dy -= y;
  } while (dx != 0 || dy != 0);
}

void wheelBy(Client& client, int amount) {
  SignalCheck interrupted;
  do {
    interrupted();
    int s = step(amount);
    client.wheel(s);
    amount -= s;
  } while (amount != 0);
}

// A chord goes down as the command line presses it: modifiers, media keys, then keys.
void pressChord(Client& client, const Chord& chord) {
  if (chord.modifiers != 0) client.pressModifiers(chord.modifiers);
  for (int usage : chord.media) client.pressMedia(usage);
  for (int usage : chord.keys) client.pressKey(usage);
}

void releaseChord(Client& client, const Chord& chord) {
  for (int usage : chord.keys) client.releaseKey(usage);
  for (int usage : chord.media) client.releaseMedia(usage);
  if (chord.modifiers != 0) client.releaseModifiers(chord.modifiers);
}

void tapChord(Client& client, const Chord& chord) {
  pressChord(client, chord);
  releaseChord(client, chord);
}

void typeWith(Client& client, const std::string& text, const LayoutHandle& layout, double hold,
              double delay) {
  // A pending Ctrl-C ends the typing between keystrokes, after what the text holds is let go.
  SignalCheck interrupted;
  TypePacing pacing{std::chrono::microseconds(static_cast<long long>(hold * 1e6)),
                    std::chrono::microseconds(static_cast<long long>(delay * 1e6))};
  try {
    py::gil_scoped_release release;
    try {
      typeText(client, text, *layout.layout, pacing, [&interrupted] { interrupted(); });
    } catch (const UntypableText&) {
      // Nothing was typed: the characters that the layout lacks go through borrowed keys of the X
      // server, as "virelo type" types them (UntypableText again for what even those cannot).
      typeTextBorrowing(client, text, *layout.layout, pacing, std::getenv);
    }
  } catch (const UntypableText& e) {
    raiseUntypable(e, text);
    throw py::error_already_set();
  }
}

py::dict heldState(const Client& client) {
  InputState s = client.state();
  py::dict held;
  held["modifiers"] = s.modifiers;
  held["keys"] = s.keys;
  held["fn"] = s.fn;
  held["media"] = s.media;
  held["buttons"] = s.buttons;
  return held;
}

// A ready service answers "status" with "ok" and "ready" only; the backend and the protocol are
// those of the hello, fixed for the service's life.
Status serviceStatus(Client& c) {
  Status status = c.status();
  const Status hello = c.helloStatus();
  if (status.backend.empty()) status.backend = hello.backend;
  if (!status.protocol) status.protocol = hello.protocol;
  return status;
}

// A MotionStream with the Python object of its client, which must outlive it.
struct Motion {
  explicit Motion(Client& client, double period) : stream(client, millis(period)) {}
  MotionStream stream;
};

void bindStatusAndChord(py::module_& m) {
  py::class_<Status>(m, "Status")
      .def_readonly("ok", &Status::ok)
      .def_readonly("ready", &Status::ready)
      .def_readonly("backend", &Status::backend)
      .def_readonly("protocol", &Status::protocol)
      .def_readonly("error", &Status::error)
      .def("__repr__", [](const Status& s) {
        return "Status(ok=" + std::string(s.ok ? "True" : "False") +
               ", ready=" + (s.ready ? "True" : "False") + ", backend='" + s.backend +
               "', error=" + (s.error ? "'" + *s.error + "'" : "None") + ")";
      });

  py::class_<Chord>(m, "Chord")
      .def_readonly("modifiers", &Chord::modifiers)
      .def_readonly("keys", &Chord::keys)
      .def_readonly("media", &Chord::media);
  // A chord whose key no key of the layout produces, pressed through a borrowed key.
  py::class_<KeysymChord>(m, "KeysymChord")
      .def_readonly("modifiers", &KeysymChord::modifiers)
      .def_readonly("keysym", &KeysymChord::keysym);
  m.def(
      "keysym_chord",
      [](const std::string& text, const LayoutHandle& layout) {
        return keysymChord(text, *layout.layout);
      },
      py::arg("text"), py::arg("layout"));
  m.def(
      "parse_chord",
      [](const std::string& text, const LayoutHandle& layout) {
        return parseChord(text, *layout.layout);
      },
      py::arg("text"), py::arg("layout"));
}

void bindClientClass(py::module_& m) {
  py::class_<Client>(m, "Client")
      .def_static(
          "find",
          [](std::optional<std::string> socket, std::optional<std::string> token, double timeout) {
            // Nothing named: the finder, which finds the session again after a lost connection.
            if (!socket && !token) return std::make_unique<Client>(findSession, millis(timeout));
            Endpoint endpoint = resolveEndpoint({std::move(socket), std::move(token)}, std::getenv);
            auto client = std::make_unique<Client>(endpoint.socket, millis(timeout));
            client->hello(endpoint.token);
            return client;
          },
          py::arg("socket") = std::nullopt, py::arg("token") = std::nullopt,
          py::arg("timeout") = 5.0, Release())
      .def_static(
          "open",
          [](const std::string& socket, const std::string& token, double timeout) {
            auto client = std::make_unique<Client>(socket, millis(timeout));
            client->hello(token);
            return client;
          },
          py::arg("socket"), py::arg("token"), py::arg("timeout") = 5.0, Release())
      .def("hello_status", &Client::helloStatus)
      .def("status", &serviceStatus, Release())
      .def(
          "reset", [](Client& c) { c.reset(); }, Release())
      .def(
          "stop_motion", [](Client& c) { c.stopMotion(); }, Release())
      .def("close", &Client::close, Release())
      .def_property_readonly("connected", &Client::connected)
      .def_property_readonly("backend", &Client::backend)
      .def("held", &heldState)
      .def(
          "keyboard",
          [](Client& c, std::uint8_t modifiers, const std::set<int>& keys, bool fn) {
            c.keyboard(modifiers, keys, fn);
          },
          py::arg("modifiers"), py::arg("keys"), py::arg("fn") = false, Release())
      .def(
          "consumer", [](Client& c, const std::set<int>& usages) { c.consumer(usages); }, Release())
      .def(
          "buttons", [](Client& c, int bits) { c.buttons(bits); }, Release())
      .def(
          "press_buttons", [](Client& c, int bits) { c.pressButtons(bits); }, Release())
      .def(
          "release_buttons", [](Client& c, int bits) { c.releaseButtons(bits); }, Release())
      .def("move", &moveBy, py::arg("dx"), py::arg("dy"), py::arg("snap") = false, Release())
      .def("wheel", &wheelBy, Release())
      .def(
          "motion",
          [](Client& c, int dx, int dy, std::optional<std::uint64_t> t) {
            return c.motion(dx, dy, t).stale;
          },
          py::arg("dx"), py::arg("dy"), py::arg("t_ns") = std::nullopt, Release())
      .def("press_chord", &pressChord, Release())
      .def("release_chord", &releaseChord, Release())
      .def("tap_chord", &tapChord, Release())
      .def("type_text", &typeWith, py::arg("text"), py::arg("layout"), py::arg("hold") = 0.0,
           py::arg("delay") = 0.0);
}

// What a client does on the X server of its backend: keysyms through borrowed keys (pressed and
// released, or held), and absolute moves.
void bindClientOnX(py::module_& m) {
  auto client = py::reinterpret_borrow<py::class_<Client>>(m.attr("Client"));
  client
      .def(
          "press_keysym",
          [](Client& c, const KeysymChord& chord) { pressKeysymBorrowing(c, chord, std::getenv); },
          py::arg("chord"), Release())
      .def(
          "move_to",
          [](Client& c, int x, int y) {
            const PointerPosition p = moveToOnScreen(c, std::getenv, {x, y});
            return std::make_pair(p.x, p.y);
          },
          py::arg("x"), py::arg("y"), Release());
  // A keysym chord held down through a borrowed key until release(); the client outlives it.
  py::class_<BorrowedKeyHold>(m, "BorrowedKeyHold")
      .def(py::init([](Client& c, const KeysymChord& chord) {
             return holdKeysymBorrowing(c, chord, std::getenv);
           }),
           py::arg("client"), py::arg("chord"), py::keep_alive<1, 2>(), Release())
      .def("release", &BorrowedKeyHold::release, Release())
      .def_property_readonly("keysym", [](const BorrowedKeyHold& h) { return h.chord().keysym; });
}

void bindMotion(py::module_& m) {
  py::class_<Motion>(m, "MotionStream")
      .def(py::init<Client&, double>(), py::arg("client"), py::arg("period") = 0.008,
           py::keep_alive<1, 2>())
      .def(
          "start",
          [](Motion& s, int dx, int dy) {
            try {
              s.stream.start(dx, dy);
            } catch (const std::logic_error& e) {
              throw Error(e.what());  // already running: the package's own error class
            }
          },
          Release())
      .def(
          "set_velocity", [](Motion& s, int dx, int dy) { s.stream.setVelocity(dx, dy); },
          Release())
      .def(
          "stop", [](Motion& s) { s.stream.stop(); }, Release())
      .def_property_readonly("running", [](const Motion& s) { return s.stream.running(); })
      .def_property_readonly("samples_sent", [](const Motion& s) { return s.stream.samplesSent(); })
      .def_property_readonly("stale_samples",
                             [](const Motion& s) { return s.stream.staleSamples(); });
}

}  // namespace

void bindClient(py::module_& m) {
  bindStatusAndChord(m);
  bindClientClass(m);
  bindClientOnX(m);
  bindMotion(m);
}

}  // namespace virelo::python
