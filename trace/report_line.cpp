#include "trace/report_line.h"

#include <cstdio>

#include "driver-interface/blocks.h"
#include "trace/trace.h"

namespace lumaro::trace {
namespace {
constexpr std::string_view kTag = "report ";
}  // namespace

std::string FormatReportLine(std::span<const std::uint8_t> bytes) {
  std::string line;
  AppendReportLine(line, bytes);
  return line;
}

void AppendReportLine(std::string& out, std::span<const std::uint8_t> bytes) {
  out += kTag;
  AppendHex(out, bytes.data(), bytes.size());
}

std::string FormatDecodedReportLine(std::span<const std::uint8_t> bytes) {
  std::string line = std::string(kTag) + " |";
  report::Contact c{};
  for (std::size_t i = 0; report::ReadContact(bytes, i, &c); ++i) {
    char record[64];
    std::snprintf(record, sizeof record, " slot %u down %u x %5u y %5u |", unsigned{c.slot},
                  unsigned{c.down}, unsigned{c.x}, unsigned{c.y});
    line += record;
  }
  return line;
}

bool IsReportLine(std::string_view line) {
  return line.starts_with(kTag);
}

std::string_view ReportLineHex(std::string_view line) {
  return IsReportLine(line) ? line.substr(kTag.size()) : std::string_view{};
}

bool ParseReportLine(std::string_view line, std::vector<std::uint8_t>* bytes) {
  return IsReportLine(line) && FromHex(ReportLineHex(line), bytes);
}

}  // namespace lumaro::trace
