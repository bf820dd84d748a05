#include "driver-interface/blocks.h"

namespace lumaro {

std::string device_info::SizeText(const DeviceInfoBlock& b) {
  std::string text;
  for (std::size_t i = kSizeOffset; i < b.size() && b[i] != 0; ++i) {
    text.push_back(static_cast<char>(b[i]));
  }
  return text;
}

bool report::ReadContact(std::span<const std::uint8_t> report, std::size_t i, Contact* out) {
  if (out == nullptr || i >= report.size() / kReportContactSize) return false;
  const std::size_t base = i * kReportContactSize;
  out->slot = report[base];
  out->down = report[base + 1];
  out->x = GetAt<std::uint16_t>(report, base + 2);
  out->y = GetAt<std::uint16_t>(report, base + 4);
  return true;
}

bool report::WriteContact(std::span<std::uint8_t> report, std::size_t i, const Contact& c) {
  if (i >= report.size() / kReportContactSize) return false;
  const std::size_t base = i * kReportContactSize;
  report[base] = c.slot;
  report[base + 1] = c.down;
  PutAt<std::uint16_t>(report, base + 2, c.x);
  PutAt<std::uint16_t>(report, base + 4, c.y);
  return true;
}

}  // namespace lumaro
