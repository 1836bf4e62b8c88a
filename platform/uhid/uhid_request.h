// One record read from a /dev/uhid descriptor, decoded into what the device has to act on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/virtual_hid.h"

namespace virelo::uhid {

struct UhidRequest {
  enum class Kind {
    getReport,  // UHID_GET_REPORT: answer with UHID_GET_REPORT_REPLY carrying `id`
    setReport,  // UHID_SET_REPORT: answer with UHID_SET_REPORT_REPLY carrying `id`
    output,     // UHID_OUTPUT: an output report from the host, no answer
    other,      // start, stop, open, close and anything else: nothing to do
    malformed,  // shorter than its type needs, or a size beyond the record
  };
  Kind kind = Kind::other;
  std::uint32_t eventType = 0;
  std::uint32_t id = 0;
  // The report type, or nullopt when the kernel sent a type this host does not know.
  std::optional<HidReportType> type;
  std::uint8_t reportNumber = 0;
  std::vector<std::uint8_t> data;
};

// Decodes one record as the kernel writes it (a struct uhid_event, possibly cut short).
UhidRequest parseUhidRequest(std::span<const std::uint8_t> record);

}  // namespace virelo::uhid
