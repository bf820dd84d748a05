#include "classic-calibration-tool/command_channel.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro {
namespace {

using namespace classic_packet;

// The image of the longest segment: marker and 1023 bytes, 32 whole blocks.
using SegmentImage = std::array<std::uint8_t, SegmentBlocks(kMaxSegmentLength) * 32>;

void SetLength(ClassicChannel& ch, std::uint64_t count) {
  Length length{};
  SetLengthValue(length, count);
  ch.io.Request(ch.fd, CLASSIC_CMD_LENGTH, length);  // its result is not examined
}

std::array<std::uint8_t, 4> BlockAddress(std::uint16_t block) {
  return {static_cast<std::uint8_t>((block >> 5) & 0xFF),
          static_cast<std::uint8_t>((block >> 13) & 0x07), static_cast<std::uint8_t>(block & 0x1F),
          0};
}

template <std::size_t N>
bool ReadSegments(ClassicChannel& ch, std::uint8_t target, const std::array<Segment, N>& table,
                  std::size_t index, std::span<std::uint8_t> record) {
  const Segment& s = table[index];
  return record_read(ch, target, s.first_block, record.subspan(s.offset, s.length));
}

}  // namespace

void SleepMicroseconds(std::uint32_t microseconds) {
  // A caught signal must not shorten the pacing the controller needs.
  timespec left = {static_cast<time_t>(microseconds / 1000000),
                   static_cast<long>(microseconds % 1000000) * 1000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

bool cmd_transfer(ClassicChannel& ch, std::span<const std::uint8_t> packet, Reply& reply,
                  std::size_t* count, bool expect_reply) {
  if (packet.size() > kClassicCommandMaxSize) return false;
  Command bytes{};  // the driver only reads it
  std::copy(packet.begin(), packet.end(), bytes.begin());
  SetLength(ch, packet.size());
  const int written = ch.io.Request(ch.fd, CLASSIC_CMD_WRITE, bytes);
  ch.pause(kExchangePauseUs);
  if (!expect_reply || written < 0) return written >= 0;
  SetLength(ch, reply.size());
  const int read = ch.io.Request(ch.fd, CLASSIC_CMD_READ, reply);
  if (read < 0) {
    ch.pause(kExchangePauseUs);
    return false;
  }
  if (count != nullptr) *count = static_cast<std::size_t>(read);
  return true;
}

bool cmd_send(ClassicChannel& ch, std::uint8_t group, std::uint8_t target, std::uint8_t command,
              std::span<const std::uint8_t> payload, std::span<std::uint8_t> data,
              std::size_t* data_length, bool expect_reply) {
  if (data_length != nullptr) *data_length = 0;
  if (payload.size() > kMaxPayload) return false;
  Command packet{};
  packet[0] = kSync;
  packet[1] = group;
  packet[2] = target;
  packet[3] = command;
  packet[4] = static_cast<std::uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), packet.begin() + kHeaderSize);
  const std::size_t end = kHeaderSize + payload.size();
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < end; ++i) sum = static_cast<std::uint8_t>(sum + packet[i]);
  packet[end] = sum;

  Reply reply{};
  if (!cmd_transfer(ch, std::span(packet).first(end + 1), reply, nullptr, expect_reply)) {
    return false;
  }
  if (!expect_reply) return true;
  switch (ReplyStatus(reply)) {
    case kReplyAck:
      return true;
    case kReplyData: {
      const std::size_t m = DataLength(reply);
      // The data must fit the room offered, and the reply buffer they came in.
      if (data.empty() || m > data.size() || m > reply.size() - kReplyDataOffset) return false;
      std::copy_n(reply.begin() + kReplyDataOffset, m, data.begin());
      if (data_length != nullptr) *data_length = m;
      return true;
    }
    default:
      return false;
  }
}

bool block_write(ClassicChannel& ch, std::uint8_t target, std::uint16_t block,
                 const Block32& bytes) {
  std::array<std::uint8_t, 4 + classic_record::kBlockSize> payload{};
  const auto address = BlockAddress(block);
  std::copy(address.begin(), address.end(), payload.begin());
  std::copy(bytes.begin(), bytes.end(), payload.begin() + 4);
  return cmd_send(ch, kGroupWrite, target, kCmdBlock, payload, {}, nullptr, true);
}

bool block_read(ClassicChannel& ch, std::uint8_t target, std::uint16_t block, Block32& bytes) {
  std::array<std::uint8_t, kBlockReadRoom> data{};
  std::size_t length = 0;
  if (!cmd_send(ch, kGroupRead, target, kCmdBlock, BlockAddress(block), data, &length, true) ||
      length != bytes.size()) {
    return false;
  }
  std::copy_n(data.begin(), bytes.size(), bytes.begin());
  return true;
}

bool record_read(ClassicChannel& ch, std::uint8_t target, std::uint16_t first_block,
                 std::span<std::uint8_t> data) {
  if (data.size() > kMaxSegmentLength) return false;
  SegmentImage image{};
  for (std::size_t k = 0; k < SegmentBlocks(data.size()); ++k) {
    Block32 block;
    if (!block_read(ch, target, static_cast<std::uint16_t>(first_block + k), block)) return false;
    std::copy(block.begin(), block.end(), image.begin() + 32 * k);
  }
  if (image[0] != 1) return false;
  std::copy_n(image.begin() + 1, data.size(), data.begin());
  return true;
}

bool prepare_write(ClassicChannel& ch, std::uint8_t target) {
  const std::array<std::uint8_t, 2> payload = {0, 0};
  return cmd_send(ch, kGroupControl, target, kCmdPrepareWrite, payload, {}, nullptr, true);
}

bool main_record_read(ClassicChannel& ch, classic_record::Main& main, std::uint16_t* read) {
  std::uint16_t bits = 0;
  bool ok = true;
  for (std::size_t i = 0; i < kMainSegments.size(); ++i) {
    // Segments 5 to 8 may fail; the record stands or falls with 1 to 4 and 9.
    ok = ReadSegments(ch, kTargetController, kMainSegments, i, main);
    if (ok) bits = static_cast<std::uint16_t>(bits | 1u << i);
    if (!ok && i < 4) break;
  }
  if (read != nullptr) *read = bits;
  return ok;
}

RecordWrite main_record_replace(ClassicChannel& ch, const classic_record::Main& record,
                                const classic_record::Main& original, std::uint16_t segments) {
  struct BlockPair {
    std::uint16_t number;
    Block32 fresh;
    Block32 old;
  };
  std::vector<BlockPair> blocks;
  for (std::size_t i = 0; i < kMainSegments.size(); ++i) {
    if ((segments >> i & 1) == 0) continue;
    const Segment& s = kMainSegments[i];
    SegmentImage fresh{}, old{};
    fresh[0] = old[0] = 1;
    std::copy_n(record.begin() + s.offset, s.length, fresh.begin() + 1);
    std::copy_n(original.begin() + s.offset, s.length, old.begin() + 1);
    for (std::size_t k = 0; k < SegmentBlocks(s.length); ++k) {
      BlockPair pair{static_cast<std::uint16_t>(s.first_block + k), {}, {}};
      std::copy_n(fresh.begin() + 32 * k, 32, pair.fresh.begin());
      std::copy_n(old.begin() + 32 * k, 32, pair.old.begin());
      blocks.push_back(pair);
    }
  }
  auto write = [&ch](std::uint16_t number, const Block32& bytes) {
    for (int attempt = 0; attempt < kBlockWriteAttempts; ++attempt) {
      if (block_write(ch, kTargetController, number, bytes)) return true;
    }
    return false;
  };
  if (!prepare_write(ch, kTargetController)) return RecordWrite::kKept;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (write(blocks[i].number, blocks[i].fresh)) continue;
    // The refused block may have been stored in part: it is written back too.
    bool restored = true;
    for (std::size_t j = 0; j <= i; ++j)
      restored = write(blocks[j].number, blocks[j].old) && restored;
    return restored ? RecordWrite::kKept : RecordWrite::kInconsistent;
  }
  return RecordWrite::kStored;
}

bool unit_record_read(ClassicChannel& ch, std::uint8_t unit, classic_record::Unit& record) {
  return ReadSegments(ch, unit, kUnitSegments, 0, record) &&
         ReadSegments(ch, unit, kUnitSegments, 1, record);
}

void config_read(ClassicChannel& ch, ControllerConfig& config) {
  config.main_ok = main_record_read(ch, config.main, &config.main_read) ? 1 : 0;
  std::array<std::uint8_t, kBlockReadRoom> data{};
  std::size_t m = 0;
  if (!cmd_send(ch, kGroupRead, kTargetController, kCmdUnitList, {}, data, &m, true) ||
      m > kMaxUnits) {
    return;
  }
  config.unit_count = static_cast<std::uint8_t>(m);
  for (std::size_t i = 0; i < m; ++i) {
    config.unit_ok[i] = unit_record_read(ch, static_cast<std::uint8_t>(i), config.units[i]) ? 1 : 0;
  }
}

bool SendClassicFlag(ClassicChannel& ch, unsigned long request) {
  if (ch.fd < 0) return true;
  std::array<std::uint8_t, kFlagByteSize> flag = {1};
  return ch.io.Request(ch.fd, request, flag) >= 0;
}

bool SendClassicCalib(ClassicChannel& ch, const classic_calib::Block& block) {
  if (ch.fd < 0) return true;
  classic_calib::Block copy = block;  // the driver only reads it
  return ch.io.Request(ch.fd, CLASSIC_CALIB_SET, copy) >= 0;
}

}  // namespace lumaro
