// One record read from a /dev/uhid descriptor, decoded into what the device has to act on.
#pragma once

#include <cstddef>
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

// How a device's output reports arrive in UHID_OUTPUT requests, read from its report descriptor
// (see outputFraming() in uhid_records.h).
struct OutputFraming {
  // The descriptor declares report IDs: the first byte of every output report is its ID.
  bool numbered = false;
  // Without report IDs: the length in bytes of the output report.
  std::size_t reportLength = 0;
};

// An output report as a device's delegate takes it. `data` points into the request's data.
struct OutputReport {
  std::optional<std::uint8_t> id;
  std::span<const std::uint8_t> data;
};

// Splits the data of a UHID_OUTPUT request into report ID and report. On a device with report IDs
// the first byte is the ID (0 is "no report ID"). On a device without, the kernel's input layer
// (the LED path of evdev) sends the bare report, while a writer on the hidraw node puts a report
// number 0 in front of it (as hidapi does), which the kernel passes on unmarked: a 0 in front of
// data one byte longer than the output report is that number and is dropped.
OutputReport splitOutputReport(std::span<const std::uint8_t> data, const OutputFraming& framing);

}  // namespace virelo::uhid
