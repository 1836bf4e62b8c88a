#include "bridge/device_properties.h"

#include "bridge/reports.h"

namespace virelo {
namespace {

constexpr const char* kNamespace = "org.virelo.";

HidDeviceProperties base(std::span<const std::uint8_t> descriptor, std::uint32_t productID,
                         const char* product, const char* ending) {
  HidDeviceProperties p;
  p.descriptor.assign(descriptor.begin(), descriptor.end());
  p.vendorID = 0;
  p.productID = productID;
  p.transport = HidTransport::virtualDevice;
  p.product = product;
  p.manufacturer = "Virelo";
  p.uniqueID = std::string(kNamespace) + ending;
  return p;
}

}  // namespace

HidDeviceProperties keyboardProperties() {
  auto p = base(keyboardDescriptor, 1, "Virelo Keyboard", "corehid.keyboard");
  p.localizationCode = HidLocalization::unitedStates;
  return p;
}

HidDeviceProperties mouseProperties() {
  return base(mouseDescriptor, 2, "Virelo Mouse", "corehid.mouse");
}

HidDeviceProperties mediaProperties() {
  return base(consumerDescriptor, 3, "Virelo Media", "corehid.media");
}

}  // namespace virelo
