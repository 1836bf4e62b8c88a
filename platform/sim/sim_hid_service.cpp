#include "platform/sim/sim_hid_service.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <thread>

#include "platform/hex.h"

namespace virelo::sim {
namespace {

std::set<std::string> nameSet(const nlohmann::json& value) {
  std::set<std::string> names;
  if (!value.is_array()) return names;
  for (const auto& v : value) {
    if (v.is_string()) names.insert(v.get<std::string>());
  }
  return names;
}

HidReportType reportType(const nlohmann::json& value) {
  const auto& s = value.get_ref<const std::string&>();
  if (s == "input") return HidReportType::input;
  if (s == "output") return HidReportType::output;
  if (s == "feature") return HidReportType::feature;
  throw std::invalid_argument("type");
}

std::optional<std::uint8_t> reportID(const nlohmann::json& request) {
  auto it = request.find("id");
  if (it == request.end() || it->is_null()) return std::nullopt;
  auto v = it->get<std::int64_t>();
  if (v < 0 || v > 255) throw std::invalid_argument("id");
  return static_cast<std::uint8_t>(v);
}

nlohmann::json refusal(const HidDeviceError& e) {
  return {
      {"ok", false},
      {"error", e.kind() == HidDeviceError::Kind::unsupported ? "unsupported" : "messageTooLarge"}};
}

}  // namespace

struct SimHidService::State {
  std::mutex mutex;
  std::map<std::string, HidVirtualDeviceDelegate*> active;  // guarded by mutex
  std::set<std::string> refused;
  std::set<std::string> failing;  // guarded by mutex
  std::atomic<int> dispatchDelayMs{0};
};

class SimHidService::Device final : public HidVirtualDevice {
 public:
  Device(SimHost& host, std::shared_ptr<State> state, std::string name)
      : host_(host),
        state_(std::move(state)),
        name_(std::move(name)),
        inputPrefix_(
            "{\"device\":" +
            nlohmann::json(name_).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
            ",\"event\":\"hid_input\",\"report\":\"") {}

  // The device's removal: the host forgets whatever it still held, so nothing stays pressed.
  ~Device() override {
    {
      std::lock_guard<std::mutex> guard(state_->mutex);
      auto it = state_->active.find(name_);
      if (it != state_->active.end() && it->second == delegate_) state_->active.erase(it);
    }
    try {
      host_.trace({{"event", "hid_destroy"}, {"device", name_}});
    } catch (const std::exception&) {
    }
  }

  void activate(HidVirtualDeviceDelegate& delegate) override {
    {
      std::lock_guard<std::mutex> guard(state_->mutex);
      delegate_ = &delegate;
      state_->active[name_] = &delegate;
    }
    host_.trace({{"event", "hid_activate"}, {"device", name_}});
  }

  void dispatchInputReport(std::span<const std::uint8_t> report, std::uint64_t) override {
    int delay = state_->dispatchDelayMs.load();
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    bool fail;
    {
      std::lock_guard<std::mutex> guard(state_->mutex);
      fail = state_->failing.count(name_) != 0;
    }
    if (fail) {
      host_.trace({{"event", "hid_dispatch_failed"}, {"device", name_}, {"report", toHex(report)}});
      throw HidServiceError("the host rejected the report");
    }
    if (!host_.tracing()) return;
    // The same line as trace() writes for {"event":"hid_input","device":...,"report":...}.
    static constexpr char digits[] = "0123456789abcdef";
    inputLine_.assign(inputPrefix_);
    for (std::uint8_t b : report) {
      inputLine_.push_back(digits[b >> 4]);
      inputLine_.push_back(digits[b & 0x0F]);
    }
    inputLine_.push_back('"');
    host_.traceText(inputLine_);
  }

 private:
  SimHost& host_;
  std::shared_ptr<State> state_;
  std::string name_;
  const std::string inputPrefix_;  // {"device":<name>,"event":"hid_input","report":"
  std::string inputLine_;          // reused for every input report
  HidVirtualDeviceDelegate* delegate_ = nullptr;
};

SimHidService::SimHidService(SimHost& host) : host_(host), state_(std::make_shared<State>()) {
  const auto& world = host.world();
  state_->refused = nameSet(world.value("refuseDevices", nlohmann::json()));
  state_->failing = nameSet(world.value("failDispatch", nlohmann::json()));
  auto delay = world.value("dispatchDelayMs", nlohmann::json());
  if (delay.is_number_integer()) state_->dispatchDelayMs = delay.get<int>();

  auto state = state_;
  host.onSet([state](const nlohmann::json& request) {
    if (request.contains("dispatchDelayMs")) {
      state->dispatchDelayMs = request["dispatchDelayMs"].get<int>();
    }
    if (request.contains("failDispatch")) {
      auto names = nameSet(request["failDispatch"]);
      std::lock_guard<std::mutex> guard(state->mutex);
      state->failing = std::move(names);
    }
  });
  host.onRequest("get_report", [state](const nlohmann::json& request) -> nlohmann::json {
    auto type = reportType(request.at("type"));
    auto id = reportID(request);
    // A size is a whole number of bytes: a negative or fractional one is no size at all.
    const auto& size = request.at("maxSize");
    if (!size.is_number_unsigned()) throw std::invalid_argument("maxSize");
    auto maxSize = size.get<std::size_t>();
    std::lock_guard<std::mutex> guard(state->mutex);
    auto it = state->active.find(request.at("device").get<std::string>());
    if (it == state->active.end()) return {{"ok", false}, {"error", "no_device"}};
    try {
      return {{"ok", true}, {"data", toHex(it->second->getReport(type, id, maxSize))}};
    } catch (const HidDeviceError& e) {
      return refusal(e);
    }
  });
  host.onRequest("set_report", [state](const nlohmann::json& request) -> nlohmann::json {
    auto type = reportType(request.at("type"));
    auto id = reportID(request);
    auto data = fromHex(request.at("data").get<std::string>());
    if (!data) throw std::invalid_argument("data");
    std::lock_guard<std::mutex> guard(state->mutex);
    auto it = state->active.find(request.at("device").get<std::string>());
    if (it == state->active.end()) return {{"ok", false}, {"error", "no_device"}};
    try {
      it->second->setReport(type, id, *data);
      return {{"ok", true}};
    } catch (const HidDeviceError& e) {
      return refusal(e);
    }
  });
}

SimHidService::~SimHidService() = default;

std::string SimHidService::deviceName(const HidDeviceProperties& properties) {
  for (const char* name : {"keyboard", "mouse", "media"}) {
    std::string ending = std::string("corehid.") + name;
    const auto& id = properties.uniqueID;
    if (id.size() >= ending.size() &&
        id.compare(id.size() - ending.size(), ending.size(), ending) == 0) {
      return name;
    }
  }
  return properties.product;
}

std::unique_ptr<HidVirtualDevice> SimHidService::create(const HidDeviceProperties& properties) {
  std::string name = deviceName(properties);
  if (state_->refused.count(name)) {
    host_.trace({{"event", "hid_refused"}, {"device", name}});
    return nullptr;
  }
  nlohmann::json event = {{"event", "hid_create"},
                          {"device", name},
                          {"descriptor", toHex(properties.descriptor)},
                          {"vendorID", properties.vendorID},
                          {"productID", properties.productID},
                          {"transport", "virtual"},
                          {"product", properties.product},
                          {"manufacturer", properties.manufacturer},
                          {"uniqueID", properties.uniqueID}};
  if (properties.localizationCode) event["localizationCode"] = "unitedStates";
  if (properties.modelNumber) event["modelNumber"] = *properties.modelNumber;
  if (properties.versionNumber) event["versionNumber"] = *properties.versionNumber;
  if (properties.serialNumber) event["serialNumber"] = *properties.serialNumber;
  if (properties.locationID) event["locationID"] = *properties.locationID;
  host_.trace(std::move(event));
  return std::make_unique<Device>(host_, state_, name);
}

}  // namespace virelo::sim
