#include "tests/protocol/transcript_runner.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <csignal>
#include <deque>
#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <thread>

#include "core/monotonic_clock.h"
#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/line_reader.h"
#include "tests/support/service_process.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 5s;

// A step that did not hold.
struct StepFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what) {
  throw StepFailed(what);
}

// Whether every member of the pattern is in the event with an equal value.
bool matches(const json& event, const json& pattern) {
  for (const auto& [key, value] : pattern.items()) {
    auto it = event.find(key);
    if (it == event.end() || *it != value) return false;
  }
  return true;
}

ServiceOptions optionsOf(const json& header) {
  ServiceOptions options;
  options.backend = header.value("backend", "corehid");
  options.world = header.value("world", json::object());
  return options;
}

class CaseRun {
 public:
  explicit CaseRun(const TranscriptCase& c) : service_(optionsOf(c.header)) {
    // The first status line comes once the socket is listening.
    auto first = service_.readLine(10s);
    if (!first) fail("the service wrote no first status line");
    stdout_.push_back(*first);
  }

  void step(const json& s) {
    if (s.contains("send")) return send(s);
    if (s.contains("raw")) return raw(s);
    if (s.contains("expect")) return expect(s);
    if (s.contains("expect_line")) return expectLine(s);
    if (s.contains("silent")) return silent(s);
    if (s.contains("closed")) return closed(s);
    if (s.contains("connect")) return (void)client(s["connect"].get<std::string>());
    if (s.contains("close")) return (void)clients_.erase(s["close"].get<std::string>());
    if (s.contains("shutdown")) {
      ::shutdown(client(s["shutdown"].get<std::string>()).fd(), SHUT_WR);
      return;
    }
    if (s.contains("sleep")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(s["sleep"].get<int>()));
      return;
    }
    if (s.contains("trace")) return trace(s);
    if (s.contains("latest")) return latest(s);
    if (s.contains("stdout")) return stdoutLine(s, false);
    if (s.contains("stdout_line")) return stdoutLine(s, true);
    if (s.contains("stdin")) return service_.closeStdin();
    if (s.contains("signal")) return service_.signal(s["signal"] == "INT" ? SIGINT : SIGTERM);
    if (s.contains("exit")) return exitStatus(s);
    if (s.contains("control")) return control(s);
    fail("unknown step");
  }

 private:
  TestClient& client(const std::string& name) {
    auto& slot = clients_[name];
    if (!slot) slot = std::make_unique<TestClient>(service_.socketPath());
    return *slot;
  }
  TestClient& clientOf(const json& s) { return client(s.value("client", "a")); }

  // "$TOKEN" and "$NOW", "$NOW-50ms", "$NOW+1ms" in string values.
  json substitute(const json& value) const {
    if (value.is_object() || value.is_array()) {
      json out = value;
      for (auto& element : out) element = substitute(element);
      return out;
    }
    if (!value.is_string()) return value;
    const std::string& text = value.get_ref<const std::string&>();
    if (text == "$TOKEN") return service_.token();
    static const std::regex now(R"(\$NOW(?:([+-])([0-9]+)ms)?)");
    std::smatch m;
    if (std::regex_match(text, m, now)) {
      std::uint64_t t = monotonicNS();
      std::uint64_t offset = m[1].matched ? std::stoull(m[2]) * 1'000'000 : 0;
      return m[1] == "-" ? t - offset : t + offset;
    }
    return value;
  }

  void send(const json& s) {
    json value = substitute(s["send"]);
    std::string line = value.dump();
    if (s.contains("pad_to")) {
      value["pad"] = "";
      std::size_t size = value.dump().size();
      std::size_t want = s["pad_to"].get<std::size_t>();
      if (size > want) fail("the line is already longer than pad_to");
      value["pad"] = std::string(want - size, 'x');
      line = value.dump();
    }
    clientOf(s).sendLine(line);
  }

  void raw(const json& s) {
    std::string text = s["raw"].get<std::string>();
    for (auto at = text.find("$TOKEN"); at != std::string::npos; at = text.find("$TOKEN", at)) {
      text.replace(at, 6, service_.token());
    }
    std::string bytes;
    for (int i = s.value("times", 1); i > 0; --i) bytes += text;
    clientOf(s).sendRaw(bytes);
  }

  std::string reply(const json& s) {
    auto line = clientOf(s).readLine(kWait);
    if (!line) fail("no reply line");
    return *line;
  }

  void expect(const json& s) {
    json want = substitute(s["expect"]);
    for (int i = s.value("times", 1); i > 0; --i) {
      std::string line = reply(s);
      if (json::parse(line, nullptr, false) != want)
        fail("reply " + line + ", expected " + want.dump());
    }
  }

  void expectLine(const json& s) {
    std::string line = reply(s);
    if (line != s["expect_line"].get<std::string>()) fail("reply " + line);
  }

  void silent(const json& s) {
    auto line = clientOf(s).readLine(std::chrono::milliseconds(s["silent"].get<int>()));
    if (line) fail("unexpected reply " + *line);
    if (clientOf(s).closedByService(0ms)) fail("the connection was closed");
  }

  void closed(const json& s) {
    auto line = clientOf(s).readLine(kWait);
    if (line) fail("a reply before the end: " + *line);
    if (!clientOf(s).closedByService(0ms)) fail("the connection stayed open");
  }

  template <typename Found>
  void waitTrace(const Found& found, const std::string& what) {
    HostTrace host(service_.tracePath());
    auto deadline = Clock::now() + kWait;
    for (auto events = host.events(); !found(events); events = host.events()) {
      if (Clock::now() >= deadline) {
        std::string last;
        for (std::size_t i = events.size() > 5 ? events.size() - 5 : 0; i < events.size(); ++i) {
          last += "\n  " + events[i].dump();
        }
        fail("not in the host's trace: " + what + "; its last events:" + last);
      }
      std::this_thread::sleep_for(5ms);
    }
  }

  // N events matching the pattern, each after the last one matched in this case.
  void trace(const json& s) {
    const json& pattern = s["trace"];
    int times = s.value("times", 1);
    waitTrace(
        [&](const std::vector<json>& events) {
          std::size_t seen = traceSeen_;
          int found = 0;
          for (std::size_t i = seen; i < events.size() && found < times; ++i) {
            if (matches(events[i], pattern)) {
              ++found;
              seen = i + 1;
            }
          }
          if (found < times) return false;
          traceSeen_ = seen;
          return true;
        },
        pattern.dump());
  }

  // The latest event with the pattern's "event" (and "device", when given) matches it.
  void latest(const json& s) {
    const json& pattern = s["latest"];
    json kind = {{"event", pattern["event"]}};
    if (pattern.contains("device")) kind["device"] = pattern["device"];
    waitTrace(
        [&](const std::vector<json>& events) {
          for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (matches(*it, kind)) return matches(*it, pattern);
          }
          return false;
        },
        pattern.dump());
  }

  // The next status line equals the step's (with "skip": the first that does, within the wait).
  void stdoutLine(const json& s, bool exact) {
    auto deadline = Clock::now() + kWait;
    for (;;) {
      std::string line;
      if (!stdout_.empty()) {
        line = stdout_.front();
        stdout_.pop_front();
      } else {
        auto next = service_.readLine(std::chrono::milliseconds(remainingMs(deadline)));
        if (!next) fail("no such status line");
        line = *next;
      }
      bool same = exact ? line == s["stdout_line"].get<std::string>()
                        : json::parse(line, nullptr, false) == s["stdout"];
      if (same) return;
      if (!s.value("skip", false)) fail("status line " + line);
    }
  }

  void exitStatus(const json& s) {
    auto status = service_.waitExit(kWait);
    if (!status) fail("the service did not end");
    if (*status != s["exit"].get<int>()) fail("exit status " + std::to_string(*status));
  }

  void control(const json& s) {
    json got = hostRequest(service_.controlPath(), s["control"]);
    if (s.contains("reply") && got != s["reply"]) fail("host reply " + got.dump());
  }

  ServiceProcess service_;
  std::deque<std::string> stdout_;
  std::map<std::string, std::unique_ptr<TestClient>> clients_;
  std::size_t traceSeen_ = 0;
};

}  // namespace

void runTranscriptCase(const TranscriptCase& c) {
  const std::string file = c.file;
  int line = c.line;
  try {
    CaseRun run(c);
    for (const auto& s : c.steps) {
      line = s.line;
      run.step(s.step);
    }
  } catch (const std::exception& e) {
    ADD_FAILURE_AT(file.c_str(), line) << e.what();
  }
}

}  // namespace virelo::test
