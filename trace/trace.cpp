#include "trace/trace.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "trace/report_line.h"

namespace lumaro::trace {
namespace {

// The size of the block a `block CODE` record gives, or 0 for a code that
// has no such block.
std::size_t BlockSizeFor(std::uint32_t code) {
  switch (code) {
    case GET_CALIB_PARA_X:
    case GET_CALIB_PARA_Y:
    case GET_DEVICE_CONFIG:
    case GET_GEOMETRY:
    case GET_LENS_B:
    case GET_LENS_A:
      return kParamBlockSize;
    case GET_DEVICE_INFO:
      return kDeviceInfoSize;
    default:
      return 0;
  }
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t space = line.find(' ', start);
    if (space == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, space - start));
    start = space + 1;
  }
}

bool ParseDecimal(std::string_view text, std::uint32_t max, std::uint32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > max) return false;
  *out = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseHexNumber(std::string_view text, std::uint32_t* out) {
  if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return false;
  }
  text.remove_prefix(2);
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && end == text.data() + text.size() && (*out = value, true);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsKnownRequest(std::uint32_t code) {
  return FindTouchRequest(code) != nullptr || FindClassicRequest(code) != nullptr;
}

// out->bytes from hex of min to max bytes; the reason when it is not.
std::string HexBytes(std::string_view name, std::string_view text, std::size_t min, std::size_t max,
                     Record* out) {
  if (!FromHex(text, &out->bytes)) return "bad hex '" + std::string(text.substr(0, 40)) + "'";
  if (out->bytes.size() < min || out->bytes.size() > max) {
    const std::string range =
        min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max);
    return std::string("'").append(name) + "' needs " + range + " bytes, found " +
           std::to_string(out->bytes.size());
  }
  return {};
}

using Fields = std::vector<std::string_view>;

std::string ParseProduct(const Fields& f, Record* out) {
  if (!ParseHexNumber(f[1], &out->value)) return "product id must be hex with 0x, e.g. 0x0c20";
  return {};
}

std::string ParseBlock(const Fields& f, Record* out) {
  if (!ParseDecimal(f[1], 0xffff, &out->value) || BlockSizeFor(out->value) == 0) {
    std::string codes;
    for (const unsigned long code : kIdentificationRequests) {
      if (BlockSizeFor(static_cast<std::uint32_t>(code)) == 0) continue;
      codes += (codes.empty() ? "" : ", ") + std::to_string(code);
    }
    return "no block is answered to request '" + std::string(f[1]) + "' (" + codes + ")";
  }
  const std::size_t size = BlockSizeFor(out->value);
  return HexBytes(f[0], f[2], size, size, out);
}

std::string ParseRequestCode(const Fields& f, Record* out) {
  if (!ParseDecimal(f[1], 0xffff, &out->value) || !IsKnownRequest(out->value)) {
    return "unknown request code '" + std::string(f[1]) + "'";
  }
  return {};
}

std::string ParseFrame(const Fields& f, Record* out) {
  return HexBytes(f[0], f[1], 1, kMaxFrameBytes, out);
}

std::string ParseReadError(const Fields& f, Record* out) {
  if (!ParseDecimal(f[1], 4095, &out->value) || out->value == 0) {
    return "errno must be a decimal number from 1 to 4095";
  }
  return {};
}

std::string ParsePacket(const Fields& f, Record* out) {
  return HexBytes(f[0], f[1], kPacketBytes, kPacketBytes, out);
}

std::string ParseClassicBlock(const Fields& f, Record* out) {
  const bool hex = f[1].size() > 1 && f[1][0] == '0' && (f[1][1] == 'x' || f[1][1] == 'X');
  const bool ok = hex ? ParseHexNumber(f[1], &out->value) : ParseDecimal(f[1], 255, &out->value);
  if (!ok || (out->value != kClassicMainTarget && out->value > 3)) {
    return "classic target must be 0x80 or 0 to 3";
  }
  const std::uint32_t blocks =
      out->value == kClassicMainTarget ? kClassicMainBlocks : kClassicUnitBlocks;
  if (!ParseDecimal(f[2], 255, &out->index) || out->index >= blocks) {
    return "block number must be 0 to " + std::to_string(blocks - 1) + " for this target";
  }
  return HexBytes(f[0], f[3], kClassicBlockBytes, kClassicBlockBytes, out);
}

std::string ParseClassicUnits(const Fields& f, Record* out) {
  if (!ParseDecimal(f[1], kMaxClassicUnits, &out->value)) return "unit count must be 0 to 4";
  return {};
}

std::string ParseEvent(const Fields& f, Record* out) {
  return HexBytes(f[0], f[1], kEventBytes, kEventBytes, out);
}

std::string ParseWait(const Fields& f, Record* out) {
  if (!ParseDecimal(f[1], 3600000, &out->value)) {
    return "wait takes milliseconds, a decimal number up to 3600000";
  }
  return {};
}

std::string ParseReport(const Fields& f, Record* out) {
  return HexBytes(f[0], f[1], 1, kMaxReportBytes, out);
}

std::string ParseNothing(const Fields&, Record*) {
  return {};
}

// Each record's name, kind, number of fields after the name, and parser.
struct RecordSyntax {
  std::string_view name;
  RecordKind kind;
  std::size_t fields;
  std::string (*parse)(const Fields&, Record*);
};

constexpr RecordSyntax kRecordSyntax[] = {
    {"product", RecordKind::kProduct, 1, ParseProduct},
    {"block", RecordKind::kBlock, 2, ParseBlock},
    {"fail", RecordKind::kFail, 1, ParseRequestCode},
    {"frame", RecordKind::kFrame, 1, ParseFrame},
    {"readerr", RecordKind::kReadError, 1, ParseReadError},
    {"packet", RecordKind::kPacket, 1, ParsePacket},
    {"classic-block", RecordKind::kClassicBlock, 3, ParseClassicBlock},
    {"classic-units", RecordKind::kClassicUnits, 1, ParseClassicUnits},
    {"event", RecordKind::kEvent, 1, ParseEvent},
    {"wait", RecordKind::kWait, 1, ParseWait},
    {"readzero", RecordKind::kReadZero, 0, ParseNothing},
    {"failonce", RecordKind::kFailOnce, 1, ParseRequestCode},
    {"report", RecordKind::kReport, 1, ParseReport},
    {"unplug", RecordKind::kUnplug, 0, ParseNothing},
    {"plug", RecordKind::kPlug, 0, ParseNothing},
};

// Parses one record line (not the header) into *out; on failure returns the
// reason.
std::string ParseRecord(const Fields& f, Record* out) {
  const std::string_view name = f[0];
  for (const RecordSyntax& syntax : kRecordSyntax) {
    if (syntax.name != name) continue;
    out->kind = syntax.kind;
    const std::size_t args = f.size() - 1;
    if (args != syntax.fields) {
      return std::string("'").append(name) + "' takes " + std::to_string(syntax.fields) + " field" +
             (syntax.fields == 1 ? "" : "s") + ", found " + std::to_string(args);
    }
    return syntax.parse(f, out);
  }
  return "unknown record '" + std::string(name.substr(0, 40)) + "'";
}

}  // namespace

bool IsStateRecord(RecordKind kind) {
  switch (kind) {
    case RecordKind::kProduct:
    case RecordKind::kBlock:
    case RecordKind::kFail:
    case RecordKind::kFailOnce:
    case RecordKind::kClassicBlock:
    case RecordKind::kClassicUnits:
      return true;
    default:
      return false;
  }
}

bool FromHex(std::string_view hex, std::vector<std::uint8_t>* out) {
  out->clear();
  if (hex.empty() || hex.size() % 2 != 0) return false;
  out->reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]);
    const int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

std::string ToHex(const std::uint8_t* bytes, std::size_t count) {
  std::string hex;
  AppendHex(hex, bytes, count);
  return hex;
}

void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::size_t at = out.size();
  out.resize(at + count * 2);
  char* digit = out.data() + at;
  for (std::size_t i = 0; i < count; ++i) {
    *digit++ = kDigits[bytes[i] >> 4];
    *digit++ = kDigits[bytes[i] & 0x0f];
  }
}

void AppendFrameLine(std::string& out, const std::uint8_t* bytes, std::size_t count) {
  out += "frame ";
  AppendHex(out, bytes, count);
}

bool ParseTrace(std::string_view text, Trace* out, std::string* error) {
  out->records.clear();
  bool seen_header = false;
  bool unplugged = false;
  int line_number = 0;
  auto fail = [&](const std::string& message) {
    *error = "line " + std::to_string(line_number) + ": " + message;
    return false;
  };
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const std::vector<std::string_view> fields = SplitFields(line);
    for (std::string_view f : fields) {
      if (f.empty()) return fail("fields are separated by exactly one space");
    }
    if (!seen_header) {
      if (fields[0] != kMagic) return fail("not a trace: the first line must be 'lumaro-trace 1'");
      if (fields.size() != 2 || fields[1] != "1") return fail("unsupported trace version");
      seen_header = true;
      continue;
    }
    Record record;
    record.line = line_number;
    const std::string reason = ParseRecord(fields, &record);
    if (!reason.empty()) return fail(reason);
    switch (record.kind) {
      case RecordKind::kUnplug:
        if (unplugged) return fail("'unplug' while the node is already unplugged");
        unplugged = true;
        break;
      case RecordKind::kPlug:
        if (!unplugged) return fail("'plug' while the node is plugged in");
        unplugged = false;
        break;
      case RecordKind::kFrame:
      case RecordKind::kReadError:
      case RecordKind::kReadZero:
      case RecordKind::kPacket:
      case RecordKind::kEvent:
        if (unplugged) return fail("nothing can be read while the node is unplugged");
        break;
      default:
        break;
    }
    out->records.push_back(std::move(record));
  }
  if (!seen_header) {
    line_number = std::max(line_number, 1);
    return fail("not a trace: the first line must be 'lumaro-trace 1'");
  }
  return true;
}

std::string HeaderLine() {
  return std::string(kMagic) + " " + std::to_string(kVersion);
}

std::string FormatRecord(const Record& r) {
  // Formed only for the records that carry bytes.
  const auto hex = [&r] { return ToHex(r.bytes.data(), r.bytes.size()); };
  switch (r.kind) {
    case RecordKind::kProduct: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "0x%04x", static_cast<unsigned>(r.value));
      return std::string("product ") + buffer;
    }
    case RecordKind::kBlock:
      return "block " + std::to_string(r.value) + " " + hex();
    case RecordKind::kFail:
      return "fail " + std::to_string(r.value);
    case RecordKind::kFrame: {
      std::string line;
      AppendFrameLine(line, r.bytes.data(), r.bytes.size());
      return line;
    }
    case RecordKind::kReadError:
      return "readerr " + std::to_string(r.value);
    case RecordKind::kPacket:
      return "packet " + hex();
    case RecordKind::kClassicBlock: {
      const std::string target = r.value == kClassicMainTarget ? "0x80" : std::to_string(r.value);
      return "classic-block " + target + " " + std::to_string(r.index) + " " + hex();
    }
    case RecordKind::kClassicUnits:
      return "classic-units " + std::to_string(r.value);
    case RecordKind::kEvent:
      return "event " + hex();
    case RecordKind::kWait:
      return "wait " + std::to_string(r.value);
    case RecordKind::kUnplug:
      return "unplug";
    case RecordKind::kPlug:
      return "plug";
    case RecordKind::kReadZero:
      return "readzero";
    case RecordKind::kFailOnce:
      return "failonce " + std::to_string(r.value);
    case RecordKind::kReport:
      return FormatReportLine(r.bytes);
  }
  return {};
}

}  // namespace lumaro::trace
