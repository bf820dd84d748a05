// The classic controller's packet command channel over /dev/LumaroClassic:
// one exchange is CLASSIC_CMD_LENGTH, CLASSIC_CMD_WRITE and, when a reply is
// expected, CLASSIC_CMD_LENGTH 64 and CLASSIC_CMD_READ, each exchange paced by
// a 100 ms pause. On it, the block, segment and record operations that read
// the controller's configuration at start-up and write its main record back.
// Nothing is retried and nothing is printed; results are true or false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"

namespace lumaro {

// A pause of the given number of microseconds (usleep in the tool).
using Pause = std::function<void(std::uint32_t microseconds)>;
void SleepMicroseconds(std::uint32_t microseconds);

inline constexpr std::uint32_t kExchangePauseUs = 100000;
inline constexpr std::size_t kMaxSegmentLength = 1023;
inline constexpr std::size_t kBlockReadRoom = 58;  // room offered for block and unit-list data
inline constexpr int kMaxUnits = 4;

struct ClassicChannel {
  DeviceIo& io;
  int fd = -1;
  Pause pause = SleepMicroseconds;
};

using Block32 = std::array<std::uint8_t, classic_record::kBlockSize>;

// A record segment: L bytes stored from `first_block` on, held at `offset`
// in its record.
struct Segment {
  std::uint16_t first_block;
  std::size_t length;
  std::size_t offset;
};

inline constexpr std::array<Segment, 9> kMainSegments = {{{0, 25, 0},
                                                          {1, 150, 25},
                                                          {6, 186, 175},
                                                          {12, 34, 361},
                                                          {16, 169, 395},
                                                          {22, 186, 564},
                                                          {29, 1, 750},
                                                          {30, 25, 751},
                                                          {31, 25, 776}}};
inline constexpr std::array<Segment, 2> kUnitSegments = {{{0, 25, 0}, {1, 82, 25}}};

// The part of the tool's context that the channel fills; zero at start-up.
struct ControllerConfig {
  std::uint8_t main_ok;  // result of the last main_record_read
  classic_record::Main main;
  std::uint8_t unit_count;  // units listed by CMD_UNIT_LIST, 0 to 4
  std::array<classic_record::Unit, kMaxUnits> units;
  std::array<std::uint8_t, kMaxUnits> unit_ok;
  std::uint16_t main_read;  // bit i: segment i + 1 of the main record was read
};

inline constexpr std::uint16_t kAllMainSegments = (1u << kMainSegments.size()) - 1;

// Blocks occupied by a segment of `length` bytes: the marker byte 1 and the
// data, rounded up to whole blocks.
constexpr std::size_t SegmentBlocks(std::size_t length) {
  return (length + 32) / 32;
}

// One exchange of `packet` (at most 64 bytes). With `expect_reply`, the reply
// lands in `reply` and its byte count in `*count` (when given).
bool cmd_transfer(ClassicChannel& ch, std::span<const std::uint8_t> packet,
                  classic_packet::Reply& reply, std::size_t* count, bool expect_reply);

// Builds and sends one command with `payload` (at most 58 bytes; longer ones
// are refused unsent). A REPLY_ACK succeeds with data length 0; a REPLY_DATA
// succeeds when its data fit `data`, which receives them. Without
// `expect_reply` a written packet is success.
bool cmd_send(ClassicChannel& ch, std::uint8_t group, std::uint8_t target, std::uint8_t command,
              std::span<const std::uint8_t> payload, std::span<std::uint8_t> data,
              std::size_t* data_length, bool expect_reply);

bool block_write(ClassicChannel& ch, std::uint8_t target, std::uint16_t block,
                 const Block32& bytes);
bool block_read(ClassicChannel& ch, std::uint8_t target, std::uint16_t block, Block32& bytes);

// A segment of data.size() bytes (at most 1023) from `first_block` on. It
// succeeds only with every block read and the marker 1; `data` is untouched
// otherwise.
bool record_read(ClassicChannel& ch, std::uint8_t target, std::uint16_t first_block,
                 std::span<std::uint8_t> data);

bool prepare_write(ClassicChannel& ch, std::uint8_t target);

// Segments 1 to 4 must read; 5 to 8 may fail (keeping their bytes); the
// result is that of segment 9. `*read` (when given) receives one bit per
// segment that was read.
bool main_record_read(ClassicChannel& ch, classic_record::Main& main,
                      std::uint16_t* read = nullptr);
// How a record replacement ended.
enum class RecordWrite {
  kStored,        // every block of the new record is stored
  kKept,          // refused; the controller holds the old record
  kInconsistent,  // refused, and the old record could not be written back whole
};

// Attempts per block write in main_record_replace: the first and 3 retries.
inline constexpr int kBlockWriteAttempts = 4;

// Writes the segments named in `segments` of `record` over the controller's
// record, which holds `original` (as read at start-up), retrying a refused
// block. A block that stays refused makes it write back, from `original`,
// every block already written (and the refused one), so that the record is
// never left half new and half old.
RecordWrite main_record_replace(ClassicChannel& ch, const classic_record::Main& record,
                                const classic_record::Main& original,
                                std::uint16_t segments = kAllMainSegments);

bool unit_record_read(ClassicChannel& ch, std::uint8_t unit, classic_record::Unit& record);

// The start-up read: the main record, the unit list and each listed unit.
void config_read(ClassicChannel& ch, ControllerConfig& config);

// The fixed requests: CLASSIC_CALIB_BEGIN, _END, _APPLY and _ACCEPT with their
// one byte 1, and CLASSIC_CALIB_SET with the calibration block. Nothing is
// issued without a descriptor; true unless the request's result is negative.
bool SendClassicFlag(ClassicChannel& ch, unsigned long request);
bool SendClassicCalib(ClassicChannel& ch, const classic_calib::Block& block);

}  // namespace lumaro
