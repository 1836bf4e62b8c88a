#include "platform/uhid/uhid_request.h"

#include <linux/uhid.h>

#include <cstddef>
#include <cstring>

namespace virelo::uhid {
namespace {

constexpr std::size_t requestPayloadOffset = offsetof(uhid_event, u);

template <typename T>
T get(std::span<const std::uint8_t> record, std::size_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

std::optional<HidReportType> reportType(std::uint8_t rtype) {
  switch (rtype) {
    case UHID_FEATURE_REPORT:
      return HidReportType::feature;
    case UHID_OUTPUT_REPORT:
      return HidReportType::output;
    case UHID_INPUT_REPORT:
      return HidReportType::input;
    default:
      return std::nullopt;
  }
}

UhidRequest malformed(std::uint32_t type) {
  UhidRequest request;
  request.kind = UhidRequest::Kind::malformed;
  request.eventType = type;
  return request;
}

}  // namespace

UhidRequest parseUhidRequest(std::span<const std::uint8_t> record) {
  if (record.size() < requestPayloadOffset) return malformed(0);
  auto type = get<std::uint32_t>(record, 0);
  UhidRequest request;
  request.eventType = type;
  constexpr std::size_t base = requestPayloadOffset;
  switch (type) {
    case UHID_GET_REPORT: {
      if (record.size() < base + sizeof(uhid_get_report_req)) return malformed(type);
      request.kind = UhidRequest::Kind::getReport;
      request.id = get<std::uint32_t>(record, base + offsetof(uhid_get_report_req, id));
      request.reportNumber = record[base + offsetof(uhid_get_report_req, rnum)];
      request.type = reportType(record[base + offsetof(uhid_get_report_req, rtype)]);
      return request;
    }
    case UHID_SET_REPORT: {
      constexpr std::size_t dataAt = base + offsetof(uhid_set_report_req, data);
      if (record.size() < dataAt) return malformed(type);
      auto size = get<std::uint16_t>(record, base + offsetof(uhid_set_report_req, size));
      if (size > UHID_DATA_MAX || record.size() < dataAt + size) return malformed(type);
      request.kind = UhidRequest::Kind::setReport;
      request.id = get<std::uint32_t>(record, base + offsetof(uhid_set_report_req, id));
      request.reportNumber = record[base + offsetof(uhid_set_report_req, rnum)];
      request.type = reportType(record[base + offsetof(uhid_set_report_req, rtype)]);
      request.data.assign(record.begin() + dataAt, record.begin() + dataAt + size);
      return request;
    }
    case UHID_OUTPUT: {
      if (record.size() < base + sizeof(uhid_output_req)) return malformed(type);
      auto size = get<std::uint16_t>(record, base + offsetof(uhid_output_req, size));
      if (size > UHID_DATA_MAX) return malformed(type);
      constexpr std::size_t dataAt = base + offsetof(uhid_output_req, data);
      request.kind = UhidRequest::Kind::output;
      request.type = reportType(record[base + offsetof(uhid_output_req, rtype)]);
      request.data.assign(record.begin() + dataAt, record.begin() + dataAt + size);
      return request;
    }
    default:
      request.kind = UhidRequest::Kind::other;
      return request;
  }
}

OutputReport splitOutputReport(std::span<const std::uint8_t> data, const OutputFraming& framing) {
  if (framing.numbered) {
    if (data.empty()) return {std::nullopt, data};
    std::optional<std::uint8_t> id;
    if (data[0] != 0) id = data[0];
    return {id, data.subspan(1)};
  }
  if (data.size() == framing.reportLength + 1 && data[0] == 0) {
    return {std::nullopt, data.subspan(1)};
  }
  return {std::nullopt, data};
}

}  // namespace virelo::uhid
