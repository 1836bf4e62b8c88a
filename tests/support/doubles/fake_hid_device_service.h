// An in-process virtual HID device service that records what the bridge does with its devices.
// Devices are known by the ending of their unique identifier: "keyboard", "mouse" or "media".
// It can refuse the creation of chosen devices and reject the dispatches of chosen devices with
// HidServiceError.
//
// Threads: create, activate and dispatch run on the test's main thread; the records are guarded
// by one mutex so that a test thread may read them too.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/virtual_hid.h"

namespace virelo::testing {

using Bytes = std::vector<std::uint8_t>;

class FakeHidDeviceService final : public HidDeviceService {
 public:
  struct Record {
    HidDeviceProperties properties;
    HidVirtualDeviceDelegate* delegate = nullptr;  // set by activate
    std::vector<Bytes> reports;                    // every dispatched report, in order
    bool destroyed = false;
  };

  void refuse(const std::string& name) { state_->refused.insert(name); }
  void failDispatch(const std::string& name) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->failing.insert(name);
  }

  // Names in order of creation requests, refused ones included.
  std::vector<std::string> requested() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requested;
  }
  bool created(const std::string& name) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->records.count(name) != 0;
  }
  Record record(const std::string& name) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    auto it = state_->records.find(name);
    return it == state_->records.end() ? Record{} : it->second;
  }
  std::vector<Bytes> reports(const std::string& name) const { return record(name).reports; }
  Bytes lastReport(const std::string& name) const {
    auto all = reports(name);
    return all.empty() ? Bytes{} : all.back();
  }
  std::size_t reportCount(const std::string& name) const { return reports(name).size(); }
  HidVirtualDeviceDelegate* delegate(const std::string& name) const {
    return record(name).delegate;
  }
  void forgetReports() {
    std::lock_guard<std::mutex> guard(state_->lock);
    for (auto& [name, record] : state_->records) record.reports.clear();
  }

  static std::string nameOf(const HidDeviceProperties& properties) {
    for (const char* name : {"keyboard", "mouse", "media"}) {
      std::string ending = std::string(".") + name;
      const std::string& id = properties.uniqueID;
      if (id.size() >= ending.size() &&
          id.compare(id.size() - ending.size(), ending.size(), ending) == 0) {
        return name;
      }
    }
    return properties.product;
  }

  std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties& properties) override {
    std::string name = nameOf(properties);
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->requested.push_back(name);
    if (state_->refused.count(name) != 0) return nullptr;
    state_->records[name] = Record{properties, nullptr, {}, false};
    return std::make_unique<Device>(state_, name);
  }

 private:
  struct State {
    std::mutex lock;
    std::set<std::string> refused;
    std::set<std::string> failing;
    std::vector<std::string> requested;
    std::map<std::string, Record> records;
  };

  class Device final : public HidVirtualDevice {
   public:
    Device(std::shared_ptr<State> state, std::string name)
        : state_(std::move(state)), name_(std::move(name)) {}
    ~Device() override {
      std::lock_guard<std::mutex> guard(state_->lock);
      state_->records[name_].destroyed = true;
    }
    void activate(HidVirtualDeviceDelegate& delegate) override {
      std::lock_guard<std::mutex> guard(state_->lock);
      state_->records[name_].delegate = &delegate;
    }
    void dispatchInputReport(std::span<const std::uint8_t> report, std::uint64_t) override {
      std::lock_guard<std::mutex> guard(state_->lock);
      if (state_->failing.count(name_) != 0) throw HidServiceError("dispatch rejected");
      state_->records[name_].reports.emplace_back(report.begin(), report.end());
    }

   private:
    std::shared_ptr<State> state_;
    std::string name_;
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace virelo::testing
