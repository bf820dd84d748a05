// The "report HEX" line: one report written to the touch node, as the
// simulator's log and lumaro-replay print it and the plot and replay tools
// read it back. A decoded form shows its contact records instead:
//   report  | slot S down D x X y Y | slot S down D x X y Y |
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumaro::trace {

// "report " and the bytes in hex.
std::string FormatReportLine(std::span<const std::uint8_t> bytes);
// The same line appended to out.
void AppendReportLine(std::string& out, std::span<const std::uint8_t> bytes);
// "report  |" and each contact record the bytes hold (x and y in report units).
std::string FormatDecodedReportLine(std::span<const std::uint8_t> bytes);

// Whether the line starts with "report ".
bool IsReportLine(std::string_view line);
// What follows "report " on a report line.
std::string_view ReportLineHex(std::string_view line);
// The bytes of a report line; false for another line or a bad hex string.
bool ParseReportLine(std::string_view line, std::vector<std::uint8_t>* bytes);

}  // namespace lumaro::trace
