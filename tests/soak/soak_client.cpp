#include "tests/soak/soak_client.h"

#include <sys/socket.h>

#include "core/monotonic_clock.h"
#include "tests/support/fault_tally.h"

namespace virelo::test {
namespace {

bool isProtocolError(const nlohmann::json& reply) {
  return reply.is_object() && reply.value("error", "") == "virtual_hid_protocol_error" &&
         reply.value("ok", true) == false;
}

void tally(const std::string& kind) {
  FaultTally::instance().add(kind);
}

}  // namespace

SoakClient::SoakClient(std::string socketPath, std::string token, std::string backend,
                       std::uint32_t seed, SoakCounters& counters)
    : socketPath_(std::move(socketPath)),
      token_(std::move(token)),
      backend_(std::move(backend)),
      random_(seed),
      counters_(counters) {}

SoakClient::~SoakClient() {
  stop();
}

void SoakClient::start() {
  thread_ = std::thread([this] { run(); });
}

void SoakClient::pause() {
  std::unique_lock<std::mutex> lock(mutex_);
  pauseRequested_ = true;
  changed_.wait(lock, [this] { return parked_ || stopRequested_; });
}

void SoakClient::resume() {
  std::lock_guard<std::mutex> guard(mutex_);
  pauseRequested_ = false;
  changed_.notify_all();
}

void SoakClient::stop() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopRequested_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> SoakClient::failures() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return failures_;
}

void SoakClient::fail(const std::string& what) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (failures_.size() < 20) failures_.push_back(what);
}

void SoakClient::run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (stopRequested_) break;
      if (pauseRequested_) {
        client_.reset();
        parked_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pauseRequested_ || stopRequested_; });
        parked_ = false;
        continue;
      }
    }
    step();
  }
  client_.reset();
}

bool SoakClient::connect() {
  try {
    client_ = std::make_unique<TestClient>(socketPath_);
  } catch (const std::exception&) {
    // Four connections are allowed; while the service has not yet noticed another client's
    // departure this one may be turned away, which is fine.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return false;
  }
  ++counters_.connects;
  client_->send({{"cmd", "hello"}, {"token", token_}});
  auto line = client_->readLine(std::chrono::seconds(5));
  if (!line) {
    // A fifth connection is closed at once without data.
    client_.reset();
    tally("soak: turned away (fifth connection)");
    return false;
  }
  auto reply = nlohmann::json::parse(*line, nullptr, false);
  if (reply.value("protocol", 0) != 1 || reply.value("ready", false) != true) {
    fail("hello answered with " + *line);
  }
  ++counters_.commands;
  return true;
}

void SoakClient::step() {
  if (!client_ && !connect()) return;
  int roll = std::uniform_int_distribution<int>(0, 99)(random_);
  if (roll < 80) {
    validCommand();
  } else if (roll < 88) {
    invalidCommand();
  } else {
    fault(roll - 88);
  }
  std::this_thread::sleep_for(
      std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(random_)));
}

nlohmann::json SoakClient::randomValid() {
  auto pick = [this](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(random_);
  };
  switch (pick(0, 8)) {
    case 0: {
      std::vector<int> keys;
      for (int i = pick(0, 10); i > 0; --i) keys.push_back(pick(1, 231));
      nlohmann::json command = {{"cmd", "keyboard"}, {"modifiers", pick(0, 255)}, {"keys", keys}};
      // Only the event-synthesis backend has a virtual Fn.
      if (backend_ == "cgevent") command["fn"] = pick(0, 1) == 1;
      return command;
    }
    case 1: {
      static const int media[] = {0xE2, 0xE9, 0xEA, 0xCD, 0xB5, 0xB6};
      std::vector<int> usages;
      for (int i = pick(0, 3); i > 0; --i) usages.push_back(media[pick(0, 5)]);
      return {{"cmd", "consumer"}, {"usages", usages}};
    }
    case 2:
      return {{"cmd", "buttons"}, {"buttons", pick(0, backend_ == "cgevent" ? 7 : 31)}};
    case 3:
      return {{"cmd", "move"}, {"dx", pick(-127, 127)}, {"dy", pick(-127, 127)}};
    case 4:
      return {{"cmd", "wheel"}, {"amount", pick(-127, 127)}};
    case 5:
      return {{"cmd", "motion"},
              {"dx", pick(-20, 20)},
              {"dy", pick(-20, 20)},
              {"t_ns", static_cast<std::int64_t>(monotonicNS())}};
    case 6:
      return {{"cmd", "stop_motion"}};
    case 7:
      return {{"cmd", "reset"}};
    default:
      return {{"cmd", "status"}};
  }
}

void SoakClient::validCommand() {
  nlohmann::json command = randomValid();
  client_->send(command);
  auto line = client_->readLine(std::chrono::seconds(5));
  if (!line) {
    fail("no reply to " + command.dump());
    client_.reset();
    return;
  }
  ++counters_.commands;
  auto reply = nlohmann::json::parse(*line, nullptr, false);
  if (reply == kAck ||
      (command["cmd"] == "motion" && reply.value("dropped", "") == "stale_motion")) {
    return;
  }
  // Four clients together may ask for more than 32 keys; that one command is refused.
  if (command["cmd"] == "keyboard" && isProtocolError(reply)) {
    tally("soak: keyboard over the 32-key limit");
    expectDropped("a refused keyboard command");
    return;
  }
  fail("unexpected reply " + *line + " to " + command.dump());
  client_.reset();
}

std::string SoakClient::randomInvalid() {
  static const std::vector<std::string> lines = {
      "",
      "[]",
      "17",
      "not json",
      R"({"cmd":"dance"})",
      R"({"cmd":"hello","token":"x"})",
      R"({"cmd":"keyboard","modifiers":256,"keys":[]})",
      R"({"cmd":"keyboard","modifiers":1,"keys":[0]})",
      R"({"cmd":"keyboard","modifiers":1,"keys":[4],"fn":true})",
      R"({"cmd":"consumer","usages":[48]})",
      R"({"cmd":"buttons","buttons":"1"})",
      R"({"cmd":"move","dx":200,"dy":0})",
      R"({"cmd":"wheel","amount":1.5})",
      R"({"cmd":"motion","dx":1,"dy":1,"t_ns":0})",
      R"({"cmd":5})"};
  std::string line =
      lines[std::uniform_int_distribution<std::size_t>(0, lines.size() - 1)(random_)];
  // Fn is refused only by "corehid"; buttons above 7 only by "cgevent".
  if (backend_ == "cgevent" && line.find("\"fn\"") != std::string::npos) {
    line = R"({"cmd":"buttons","buttons":8})";
  }
  return line;
}

void SoakClient::invalidCommand() {
  std::string line = randomInvalid();
  client_->sendLine(line);
  auto reply = client_->readLine(std::chrono::seconds(5));
  if (!reply || !isProtocolError(nlohmann::json::parse(*reply, nullptr, false))) {
    fail("no protocol error for " + line + ": " + reply.value_or("(none)"));
    client_.reset();
    return;
  }
  ++counters_.commands;
  tally("soak: invalid command");
  expectDropped("an invalid command");
}

void SoakClient::expectDropped(const std::string& what) {
  if (!client_->closedByService(std::chrono::seconds(5))) fail("not dropped after " + what);
  ++counters_.drops;
  client_.reset();
}

void SoakClient::fault(int kind) {
  switch (kind) {
    case 0:
    case 1:
      client_->sendRaw(R"({"cmd":"keyboard","modifiers":3,"ke)");
      tally("soak: close mid-command");
      break;
    case 2:
      ::shutdown(client_->fd(), SHUT_RDWR);
      tally("soak: shutdown");
      break;
    case 3: {
      linger zero{1, 0};
      ::setsockopt(client_->fd(), SOL_SOCKET, SO_LINGER, &zero, sizeof(zero));
      tally("soak: reset with zero linger");
      break;
    }
    case 4:
      client_->sendRaw(std::string(5000, 'q'));
      tally("soak: flood past the buffer");
      expectDropped("a flood");
      return;
    case 5: {
      std::string lines;
      for (int i = 0; i < 33; ++i) lines += "{\"cmd\":\"status\"}\n";
      client_->sendRaw(lines);
      tally("soak: 33 lines in one send");
      int answered = 0;
      while (client_->readLine(std::chrono::seconds(5))) ++answered;
      counters_.commands += static_cast<std::uint64_t>(answered);
      if (answered != 32) fail("33 lines answered " + std::to_string(answered) + " times");
      ++counters_.drops;
      client_.reset();
      return;
    }
    case 6:
      client_->sendLine(R"({"cmd":"status","pad":")" + std::string(2100, 'p') + "\"}");
      tally("soak: line over 2048 bytes");
      expectDropped("a long line");
      return;
    case 7: {
      std::string burst;
      for (int i = 0; i < 10; ++i) burst += "{\"cmd\":\"buttons\",\"buttons\":1}\n";
      client_->sendRaw(burst);
      tally("soak: close with replies in flight");
      break;
    }
    default:
      tally("soak: plain close");
      break;
  }
  client_.reset();
}

}  // namespace virelo::test
