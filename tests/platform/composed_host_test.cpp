// A host made of parts: the parts it is given, the simulated ones for the rest, the thread hooks
// in their order, and the state the parts borrow from released after them.
#include "platform/composed_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_hid_service.h"
#include "platform/sim/sim_host_parts.h"
#include "platform/sim/sim_window_server.h"

namespace virelo::sim {
namespace {

using Log = std::vector<std::string>;

// A code signature that says when it goes.
class LoggedSignature final : public CodeSignature {
 public:
  explicit LoggedSignature(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  ~LoggedSignature() override { log_->push_back("signature gone"); }
  bool copySelf() override { return false; }
  bool checkValidityStrict() override { return false; }
  bool copyStaticCode() override { return false; }
  std::optional<SigningInformation> signingInformation() override { return std::nullopt; }

 private:
  std::shared_ptr<Log> log_;
};

// State that says when it goes.
struct LoggedState {
  std::shared_ptr<Log> log;
  ~LoggedState() { log->push_back("state gone"); }
};

std::shared_ptr<SimHost> emptyCore() {
  return std::make_shared<SimHost>(nlohmann::json::object(), "", "");
}

TEST(ComposedHost, AHostWithoutEveryServicePartIsRefused) {
  EXPECT_THROW(ComposedHost{HostParts{}}, std::invalid_argument);
}

TEST(ComposedHost, TheSimulatedPartsFillOnlyWhatIsMissing) {
  auto log = std::make_shared<Log>();
  HostParts parts;
  auto signature = std::make_unique<LoggedSignature>(log);
  CodeSignature* given = signature.get();
  parts.codeSignature = std::move(signature);
  addSimulatedParts(parts, emptyCore());
  ComposedHost host(std::move(parts));
  EXPECT_EQ(&host.codeSignature(), given);
  EXPECT_NE(dynamic_cast<SimHidService*>(&host.devices()), nullptr);
  EXPECT_NE(dynamic_cast<SimWindowServer*>(&host.windowServer()), nullptr);
  auto services = host.accessibility();
  EXPECT_TRUE(services.keepAlive);
}

TEST(ComposedHost, TheHooksRunInOrderAndThePartsGoBeforeTheirState) {
  auto log = std::make_shared<Log>();
  {
    HostParts parts;
    auto state = std::make_shared<LoggedState>();
    state->log = log;
    parts.shared.push_back(std::move(state));
    parts.codeSignature = std::make_unique<LoggedSignature>(log);
    parts.startThreads = [log] { log->push_back("own start"); };
    parts.stopThreads = [log] { log->push_back("own stop"); };
    addSimulatedParts(parts, emptyCore());
    ComposedHost host(std::move(parts));
    host.startThreads();
    log->push_back("running");
  }
  EXPECT_EQ(*log, (Log{"own start", "running", "own stop", "signature gone", "state gone"}));
}

}  // namespace
}  // namespace virelo::sim
