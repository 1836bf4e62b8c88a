// A device delegate for tests: records every request with the thread it came on, and answers
// as told (a fixed report, or a refusal).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/virtual_hid.h"

namespace virelo::uhid::testing {

struct DelegateCall {
  enum class Op { get, set } op;
  HidReportType type;
  std::optional<std::uint8_t> id;
  std::size_t maxSize = 0;
  std::vector<std::uint8_t> data;
  std::thread::id thread;
};

class RecordingDelegate final : public HidVirtualDeviceDelegate {
 public:
  // What the next requests get: the report to return, or the refusal to throw.
  void answer(std::vector<std::uint8_t> report) {
    std::lock_guard<std::mutex> guard(mutex_);
    report_ = std::move(report);
    refusal_.reset();
    throwOther_ = false;
  }
  void refuse(HidDeviceError::Kind kind) {
    std::lock_guard<std::mutex> guard(mutex_);
    refusal_ = kind;
  }
  void throwSomethingElse() {
    std::lock_guard<std::mutex> guard(mutex_);
    throwOther_ = true;
  }

  std::vector<DelegateCall> calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
  }

  void setReport(HidReportType type, std::optional<std::uint8_t> id,
                 std::span<const std::uint8_t> data) override {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back({DelegateCall::Op::set,
                      type,
                      id,
                      0,
                      {data.begin(), data.end()},
                      std::this_thread::get_id()});
    failIfTold();
  }

  std::vector<std::uint8_t> getReport(HidReportType type, std::optional<std::uint8_t> id,
                                      std::size_t maxSize) override {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back({DelegateCall::Op::get, type, id, maxSize, {}, std::this_thread::get_id()});
    failIfTold();
    return report_;
  }

 private:
  void failIfTold() {
    if (throwOther_) throw std::runtime_error("not a device error");
    if (refusal_) throw HidDeviceError(*refusal_);
  }

  mutable std::mutex mutex_;
  std::vector<DelegateCall> calls_;
  std::vector<std::uint8_t> report_;
  std::optional<HidDeviceError::Kind> refusal_;
  bool throwOther_ = false;
};

}  // namespace virelo::uhid::testing
