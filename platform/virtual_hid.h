// The virtual HID device service: create a device from properties (or be refused), activate it
// with a delegate, dispatch input reports to it. After activation the host calls the delegate's
// get-report and set-report operations on threads of its own, concurrently with the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace virelo {

enum class HidReportType { input, output, feature };

enum class HidTransport { virtualDevice };

enum class HidLocalization { unitedStates };

// Errors a delegate hands back to the host.
class HidDeviceError : public std::runtime_error {
 public:
  enum class Kind { unsupported, messageTooLarge };
  explicit HidDeviceError(Kind kind)
      : std::runtime_error(kind == Kind::unsupported ? "unsupported" : "messageTooLarge"),
        kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// An error of the device service itself, for instance a dispatch the host did not accept.
class HidServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HidDeviceProperties {
  std::vector<std::uint8_t> descriptor;
  std::uint32_t vendorID = 0;
  std::uint32_t productID = 0;
  HidTransport transport = HidTransport::virtualDevice;
  std::string product;
  std::string manufacturer;
  std::optional<std::string> modelNumber;
  std::optional<std::uint32_t> versionNumber;
  std::optional<std::string> serialNumber;
  std::string uniqueID;
  std::optional<std::uint32_t> locationID;
  std::optional<HidLocalization> localizationCode;
};

// Answers the host's requests for one device. Called on the host's threads at any time after
// activation; implementations synchronise themselves.
class HidVirtualDeviceDelegate {
 public:
  virtual ~HidVirtualDeviceDelegate() = default;
  // Throws HidDeviceError to refuse.
  virtual void setReport(HidReportType type, std::optional<std::uint8_t> id,
                         std::span<const std::uint8_t> data) = 0;
  // Throws HidDeviceError to refuse.
  virtual std::vector<std::uint8_t> getReport(HidReportType type, std::optional<std::uint8_t> id,
                                              std::size_t maxSize) = 0;
};

// One virtual device. activate and dispatchInputReport are called on the main thread. The
// delegate must outlive the device.
class HidVirtualDevice {
 public:
  virtual ~HidVirtualDevice() = default;
  virtual void activate(HidVirtualDeviceDelegate& delegate) = 0;
  // Delivers one input report (no report-ID byte). Blocks until the host took it; throws
  // HidServiceError when the host refuses it.
  virtual void dispatchInputReport(std::span<const std::uint8_t> report,
                                   std::uint64_t timestampNS) = 0;
};

class HidDeviceService {
 public:
  virtual ~HidDeviceService() = default;
  // A new device, or nullptr when the system refuses it.
  virtual std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties& properties) = 0;
};

}  // namespace virelo
