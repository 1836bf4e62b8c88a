// Byte images of the records this host writes to a /dev/uhid descriptor. Each record is the
// kernel's struct uhid_event cut after its last meaningful byte: the kernel zero-fills whatever a
// write leaves out, so a report costs its own length and not the whole 4 KiB union.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/uhid/uhid_request.h"
#include "platform/virtual_hid.h"

namespace virelo::uhid {

// The HID country code of a device localized for the United States.
inline constexpr std::uint32_t countryCodeUnitedStates = 33;

// UHID_CREATE2: name from the product (at most 127 bytes), phys and uniq from the unique
// identifier (at most 63 bytes each), bus BUS_VIRTUAL, vendor, product and version from the
// properties, the country code for a United States localization (0 otherwise), the descriptor.
// Throws HidServiceError when the descriptor is longer than the kernel accepts.
std::vector<std::uint8_t> encodeCreate2(const HidDeviceProperties& properties);

// UHID_INPUT2 carrying one input report. Throws HidServiceError when the report is longer than
// the kernel accepts.
std::vector<std::uint8_t> encodeInput2(std::span<const std::uint8_t> report);

// UHID_GET_REPORT_REPLY for request `id`: err 0 with the data, or a positive errno value and no
// data.
std::vector<std::uint8_t> encodeGetReportReply(std::uint32_t id, std::uint16_t err,
                                               std::span<const std::uint8_t> data);

// UHID_SET_REPORT_REPLY for request `id`: err 0, or a positive errno value.
std::vector<std::uint8_t> encodeSetReportReply(std::uint32_t id, std::uint16_t err);

// Whether the report descriptor declares report IDs (a Report ID global item anywhere). Devices
// that do put the report number in front of every output report the kernel hands over.
bool descriptorUsesReportIDs(std::span<const std::uint8_t> descriptor);

// The framing of a device's output reports: whether they are numbered, and the length of the
// output report (the bits of every Output item, Report Size times Report Count, in bytes rounded
// up; 0 when there is none), which is what a device without report IDs receives.
OutputFraming outputFraming(std::span<const std::uint8_t> descriptor);

}  // namespace virelo::uhid
