#include "platform/uhid/uhid_records.h"

#include <linux/uhid.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace virelo::uhid {
namespace {

constexpr std::size_t payloadOffset = offsetof(uhid_event, u);

std::vector<std::uint8_t> header(std::uint32_t type, std::size_t payloadSize) {
  std::vector<std::uint8_t> record(payloadOffset + payloadSize, 0);
  std::memcpy(record.data(), &type, sizeof type);
  return record;
}

// Copies a string into a fixed, NUL-terminated field of `capacity` bytes, cutting it if needed.
void putString(std::vector<std::uint8_t>& record, std::size_t offset, std::size_t capacity,
               const std::string& text) {
  std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(record.data() + offset, text.data(), n);
}

template <typename T>
void put(std::vector<std::uint8_t>& record, std::size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

// Short items of a report descriptor by their prefix without the size bits (tag and type).
constexpr std::uint8_t itemOutput = 0x90;       // main
constexpr std::uint8_t itemReportSize = 0x74;   // global
constexpr std::uint8_t itemReportID = 0x84;     // global
constexpr std::uint8_t itemReportCount = 0x94;  // global
constexpr std::uint8_t itemPush = 0xA4;         // global
constexpr std::uint8_t itemPop = 0xB4;          // global

// Calls visit(item, value) for every short item of a report descriptor in order: `item` is the
// prefix without its size bits, `value` the item's data read as an unsigned little-endian number.
// Long items are skipped whole; an item cut short by the end of the descriptor ends the walk.
template <typename Visit>
void forEachShortItem(std::span<const std::uint8_t> descriptor, Visit visit) {
  std::size_t i = 0;
  while (i < descriptor.size()) {
    std::uint8_t prefix = descriptor[i];
    if (prefix == 0xFE) {
      // Long item: prefix, data size, long tag, data.
      if (i + 1 >= descriptor.size()) return;
      i += 3 + descriptor[i + 1];
      continue;
    }
    static constexpr std::size_t dataSizes[] = {0, 1, 2, 4};
    std::size_t size = dataSizes[prefix & 0x03];
    if (i + 1 + size > descriptor.size()) return;
    std::uint32_t value = 0;
    for (std::size_t b = 0; b < size; ++b) {
      value |= static_cast<std::uint32_t>(descriptor[i + 1 + b]) << (8 * b);
    }
    visit(static_cast<std::uint8_t>(prefix & 0xFC), value);
    i += 1 + size;
  }
}

}  // namespace

std::vector<std::uint8_t> encodeCreate2(const HidDeviceProperties& properties) {
  const auto& descriptor = properties.descriptor;
  if (descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
    throw HidServiceError("the report descriptor is longer than the kernel accepts");
  }
  constexpr std::size_t base = payloadOffset;
  auto record = header(UHID_CREATE2, offsetof(uhid_create2_req, rd_data) + descriptor.size());
  putString(record, base + offsetof(uhid_create2_req, name), sizeof(uhid_create2_req::name),
            properties.product);
  putString(record, base + offsetof(uhid_create2_req, phys), sizeof(uhid_create2_req::phys),
            properties.uniqueID);
  putString(record, base + offsetof(uhid_create2_req, uniq), sizeof(uhid_create2_req::uniq),
            properties.uniqueID);
  put<std::uint16_t>(record, base + offsetof(uhid_create2_req, rd_size),
                     static_cast<std::uint16_t>(descriptor.size()));
  put<std::uint16_t>(record, base + offsetof(uhid_create2_req, bus), BUS_VIRTUAL);
  put<std::uint32_t>(record, base + offsetof(uhid_create2_req, vendor), properties.vendorID);
  put<std::uint32_t>(record, base + offsetof(uhid_create2_req, product), properties.productID);
  put<std::uint32_t>(record, base + offsetof(uhid_create2_req, version),
                     properties.versionNumber.value_or(0));
  put<std::uint32_t>(
      record, base + offsetof(uhid_create2_req, country),
      properties.localizationCode == HidLocalization::unitedStates ? countryCodeUnitedStates : 0);
  std::copy(
      descriptor.begin(), descriptor.end(),
      record.begin() + static_cast<std::ptrdiff_t>(base + offsetof(uhid_create2_req, rd_data)));
  return record;
}

std::vector<std::uint8_t> encodeInput2(std::span<const std::uint8_t> report) {
  if (report.size() > UHID_DATA_MAX) {
    throw HidServiceError("the input report is longer than the kernel accepts");
  }
  auto record = header(UHID_INPUT2, offsetof(uhid_input2_req, data) + report.size());
  put<std::uint16_t>(record, payloadOffset + offsetof(uhid_input2_req, size),
                     static_cast<std::uint16_t>(report.size()));
  std::copy(report.begin(), report.end(),
            record.begin() +
                static_cast<std::ptrdiff_t>(payloadOffset + offsetof(uhid_input2_req, data)));
  return record;
}

std::vector<std::uint8_t> encodeGetReportReply(std::uint32_t id, std::uint16_t err,
                                               std::span<const std::uint8_t> data) {
  std::size_t n = std::min<std::size_t>(data.size(), UHID_DATA_MAX);
  auto record = header(UHID_GET_REPORT_REPLY, offsetof(uhid_get_report_reply_req, data) + n);
  constexpr std::size_t base = payloadOffset;
  put<std::uint32_t>(record, base + offsetof(uhid_get_report_reply_req, id), id);
  put<std::uint16_t>(record, base + offsetof(uhid_get_report_reply_req, err), err);
  put<std::uint16_t>(record, base + offsetof(uhid_get_report_reply_req, size),
                     static_cast<std::uint16_t>(n));
  std::copy_n(data.begin(), n,
              record.begin() +
                  static_cast<std::ptrdiff_t>(base + offsetof(uhid_get_report_reply_req, data)));
  return record;
}

std::vector<std::uint8_t> encodeSetReportReply(std::uint32_t id, std::uint16_t err) {
  auto record = header(UHID_SET_REPORT_REPLY, sizeof(uhid_set_report_reply_req));
  put<std::uint32_t>(record, payloadOffset + offsetof(uhid_set_report_reply_req, id), id);
  put<std::uint16_t>(record, payloadOffset + offsetof(uhid_set_report_reply_req, err), err);
  return record;
}

bool descriptorUsesReportIDs(std::span<const std::uint8_t> descriptor) {
  bool found = false;
  forEachShortItem(descriptor, [&](std::uint8_t item, std::uint32_t) {
    if (item == itemReportID) found = true;
  });
  return found;
}

OutputFraming outputFraming(std::span<const std::uint8_t> descriptor) {
  struct Globals {
    std::uint64_t size = 0;
    std::uint64_t count = 0;
  };
  Globals globals;
  std::vector<Globals> pushed;
  std::uint64_t bits = 0;
  forEachShortItem(descriptor, [&](std::uint8_t item, std::uint32_t value) {
    if (item == itemReportSize) globals.size = value;
    if (item == itemReportCount) globals.count = value;
    if (item == itemPush) pushed.push_back(globals);
    if (item == itemPop && !pushed.empty()) {
      globals = pushed.back();
      pushed.pop_back();
    }
    if (item == itemOutput) bits += globals.size * globals.count;
  });
  return {descriptorUsesReportIDs(descriptor), static_cast<std::size_t>((bits + 7) / 8)};
}

}  // namespace virelo::uhid
