// The controller trace format (.ltrace): reading, writing, and the
// controller state that a trace describes.
//
// A trace is plain text, one record per line. The reader is strict: anything
// it does not understand is an error naming the line, never a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::trace {

inline constexpr char kMagic[] = "lumaro-trace";
inline constexpr int kVersion = 1;
// The sizes of what a trace records, as the device interface defines them.
inline constexpr std::size_t kMaxFrameBytes = kFrameBufferSize;
inline constexpr std::size_t kPacketBytes = kTouchPacketSize;
inline constexpr std::size_t kEventBytes = kClassicTouchEventSize;
inline constexpr std::size_t kClassicBlockBytes = 32;
inline constexpr std::uint32_t kClassicMainTarget = 0x80;
inline constexpr std::uint32_t kClassicMainBlocks = 32;
inline constexpr std::uint32_t kClassicUnitBlocks = 4;
inline constexpr std::uint32_t kMaxClassicUnits = 4;
// A report holds one 6-byte record per contact.
inline constexpr std::size_t kMaxReportBytes = 64;

enum class RecordKind : std::uint8_t {
  kProduct,       // value: ProductID
  kBlock,         // value: request code; bytes: the block
  kFail,          // value: request code
  kFrame,         // bytes: what one read returned
  kReadError,     // value: errno
  kPacket,        // bytes: one touch packet
  kClassicBlock,  // value: target; index: block number; bytes: 32
  kClassicUnits,  // value: unit count
  kEvent,         // bytes: one classic touch event
  kWait,          // value: milliseconds
  kUnplug,
  kPlug,
  kReadZero,  // one read that returns 0 bytes
  kFailOnce,  // value: request code that fails once, the next time it comes
  kReport,    // bytes: one touch report the daemon wrote (players skip it)
};

struct Record {
  RecordKind kind = RecordKind::kFrame;
  int line = 0;  // 1-based line in the source text; 0 for records made in memory
  std::uint32_t value = 0;
  std::uint32_t index = 0;
  std::vector<std::uint8_t> bytes;
};

struct Trace {
  std::vector<Record> records;
};

// Records that change the controller's state; playback applies them lazily.
bool IsStateRecord(RecordKind kind);

// Parses a whole trace. On failure returns false and sets *error to
// "line N: what is wrong".
bool ParseTrace(std::string_view text, Trace* out, std::string* error);

// One record as a trace line, without the newline.
std::string FormatRecord(const Record& record);
// The first line of every trace.
std::string HeaderLine();

// Lowercase hex of a byte string, two digits per byte.
std::string ToHex(const std::uint8_t* bytes, std::size_t count);
// The same, appended to out: what a server formatting many lines into one
// buffer uses, without a string per line.
void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t count);
// A frame record's line, without the newline, appended to out.
void AppendFrameLine(std::string& out, const std::uint8_t* bytes, std::size_t count);
// Parses hex with two digits per byte; false on odd length or a non-hex digit.
bool FromHex(std::string_view hex, std::vector<std::uint8_t>* out);

}  // namespace lumaro::trace
