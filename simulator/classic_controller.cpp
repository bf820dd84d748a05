#include "simulator/classic_controller.h"

#include <algorithm>
#include <cerrno>
#include <numeric>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace lumaro::sim {

namespace {

using classic_packet::kCmdBlock;
using classic_packet::kCmdControlAA;
using classic_packet::kCmdControlAF;
using classic_packet::kCmdPrepareWrite;
using classic_packet::kCmdUnitList;
using classic_packet::kGroupControl;
using classic_packet::kGroupRead;
using classic_packet::kGroupWrite;
using classic_packet::kSync;
constexpr std::size_t kHeaderBytes = classic_packet::kHeaderSize;
constexpr std::size_t kAddressBytes = 4;
constexpr std::size_t kBlockBytes = trace::kClassicBlockBytes;

std::uint8_t ByteSum(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  return trace::ToHex(bytes.data(), bytes.size());
}

std::string HexByte(std::uint8_t byte) {
  return "0x" + Hex(std::span<const std::uint8_t>(&byte, 1));
}

// Units listed: the trace's count, which the trace reader keeps to 0 to 4.
std::uint32_t Units(const trace::ControllerState& state) {
  return std::min(state.classic_units, trace::kMaxClassicUnits);
}

// Blocks a target holds, or 0 for a target the controller does not have.
std::uint32_t BlocksOf(std::uint32_t target, const trace::ControllerState& state) {
  if (target == trace::kClassicMainTarget) return trace::kClassicMainBlocks;
  if (target < Units(state)) return trace::kClassicUnitBlocks;
  return 0;
}

}  // namespace

std::string ClassicTargetName(std::uint32_t target) {
  return target == trace::kClassicMainTarget ? "0x80" : std::to_string(target);
}

ClassicController::ClassicController(TracePlayer* player, SimLog* log, ClassicFaults faults)
    : player_(player), log_(log), faults_(std::move(faults)) {}

std::size_t ClassicController::ArgumentSize(unsigned long code) {
  if (code == CLASSIC_CMD_WRITE || code == CLASSIC_CMD_READ) {
    return player_->WithState([this](const trace::ControllerState&) -> std::size_t {
      return transfer_count_ <= kClassicReplySize ? transfer_count_ : 0;
    });
  }
  const RequestInfo* info = FindClassicRequest(code);
  return info == nullptr ? 0 : info->size;
}

RequestOutcome ClassicController::Request(unsigned long code, std::span<std::uint8_t> block) {
  return player_->WithState(
      [&](trace::ControllerState& state) { return Serve(code, block, state); });
}

std::vector<std::uint8_t> ClassicController::calibration() {
  return player_->WithState([this](const trace::ControllerState&) { return calibration_; });
}

RequestOutcome ClassicController::Serve(unsigned long code, std::span<std::uint8_t> block,
                                        trace::ControllerState& state) {
  const RequestInfo* info = FindClassicRequest(code);
  const bool transfer = code == CLASSIC_CMD_WRITE || code == CLASSIC_CMD_READ;
  const std::size_t size = transfer ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                          transfer_count_, kClassicReplySize + 1))
                                    : (info == nullptr ? 0 : info->size);
  RequestOutcome outcome;
  if (info == nullptr) {
    outcome = {-1, ENOTTY};
  } else if (state.FailsNow(static_cast<std::uint32_t>(code))) {
    outcome = {-1, EIO};
    if (code == CLASSIC_CMD_WRITE) reply_.reset();
  } else if ((transfer && size > kClassicReplySize) || block.size() < size) {
    // A transfer longer than a packet, or an argument that was not mapped.
    outcome = {-1, EINVAL};
  } else {
    switch (code) {
      case CLASSIC_CMD_LENGTH: {
        std::uint64_t count = 0;
        for (std::size_t i = 0; i < kClassicLengthSize; ++i) {
          count |= std::uint64_t{block[i]} << (8 * i);
        }
        transfer_count_ = count;
        return outcome;  // the channel's requests are logged as commands
      }
      case CLASSIC_CMD_WRITE:
        reply_ = Encode(Execute(block.first(size), state));
        return outcome;
      case CLASSIC_CMD_READ:
        if (!reply_) {
          outcome = {-1, ETIMEDOUT};  // no command awaits its reply
          break;
        }
        std::copy_n(reply_->begin(), size, block.begin());
        reply_.reset();
        outcome.result = static_cast<int>(size);
        return outcome;
      case CLASSIC_TOUCH_READ:
        // Events are served by NextEvent(); without the clock none is due.
        outcome = {-1, EAGAIN};
        break;
      case CLASSIC_CALIB_SET:
        calibration_.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
        break;
      default:  // the other requests take one byte and are accepted
        break;
    }
  }
  std::string line = "ioctl " + std::to_string(code) + " " + std::to_string(outcome.result);
  if (info != nullptr && info->direction == Direction::kIn && !transfer &&
      code != CLASSIC_CMD_LENGTH && block.size() >= size) {
    line += ' ';
    line += Hex(block.first(size));
  }
  log_->Line(line);
  return outcome;
}

ClassicController::Reply ClassicController::Execute(std::span<const std::uint8_t> packet,
                                                    trace::ControllerState& state) {
  auto bad = [&](const std::string& reason) {
    log_->Line("classic bad packet " + reason + ": " + Hex(packet));
    return Reply{};
  };
  if (packet.size() < kHeaderBytes + 1) return bad("too short");
  if (packet[0] != kSync) return bad("sync " + HexByte(packet[0]) + ", expected 0x55");
  const std::uint8_t group = packet[1];
  const std::uint8_t target = packet[2];
  const std::uint8_t command = packet[3];
  const std::size_t length = packet[4];
  if (packet.size() != kHeaderBytes + length + 1) {
    return bad("length byte " + std::to_string(length) + " in a transfer of " +
               std::to_string(packet.size()) + " bytes");
  }
  const std::uint8_t sum = ByteSum(packet.subspan(2, length + 3));
  if (packet.back() != sum) {
    return bad("checksum " + HexByte(packet.back()) + ", expected " + HexByte(sum));
  }
  const std::span<const std::uint8_t> payload = packet.subspan(kHeaderBytes, length);
  const std::string name = ClassicTargetName(target);
  switch (command) {
    case kCmdBlock:
      // Address: bits 5-12, bits 13-15, bits 0-4 of the block number, then 0.
      if (length >= kAddressBytes && (payload[1] > 0x07 || payload[2] > 0x1F || payload[3] != 0)) {
        return bad("block address " + Hex(payload.first(kAddressBytes)));
      }
      if (group == kGroupWrite && length == kAddressBytes + kBlockBytes) {
        return BlockCommand(true, target, payload, state);
      }
      if (group == kGroupRead && length == kAddressBytes) {
        return BlockCommand(false, target, payload, state);
      }
      return bad("block command with group " + HexByte(group) + " and " + std::to_string(length) +
                 " payload bytes");
    case kCmdUnitList: {
      if (group != kGroupRead || target != trace::kClassicMainTarget || length != 0) {
        return bad("unit list needs group 0x1e, target 0x80 and no payload");
      }
      log_->Line("classic units " + std::to_string(Units(state)));
      Reply reply{kClassicReplyData, {}};
      for (std::uint32_t unit = 0; unit < Units(state); ++unit) {
        reply.data.push_back(static_cast<std::uint8_t>(unit));
      }
      return reply;
    }
    case kCmdPrepareWrite:
      if (group != kGroupControl || length != 2) {
        return bad("prepare-write needs group 0x3c and 2 payload bytes");
      }
      if (BlocksOf(target, state) == 0) {
        log_->Line("classic prepare " + name + " failed");
        return Reply{};
      }
      log_->Line("classic prepare " + name);
      return Reply{kClassicReplyAck, {}};
    case kCmdControlAA:
    case kCmdControlAF:
      if (group != kGroupControl || target != trace::kClassicMainTarget ||
          length != (command == kCmdControlAA ? classic_packet::kControlAAPayload : 0u)) {
        return bad("control command with group " + HexByte(group) + ", target " + name + " and " +
                   std::to_string(length) + " payload bytes");
      }
      log_->Line("classic command " + HexByte(command) + (length > 0 ? " " + Hex(payload) : ""));
      return Reply{kClassicReplyAck, {}};
    default:
      return bad("unknown command " + HexByte(command));
  }
}

ClassicController::Reply ClassicController::BlockCommand(bool write, std::uint32_t target,
                                                         std::span<const std::uint8_t> payload,
                                                         trace::ControllerState& state) {
  const std::uint32_t number =
      std::uint32_t{payload[2]} | std::uint32_t{payload[0]} << 5 | std::uint32_t{payload[1]} << 13;
  const std::string where = ClassicTargetName(target) + " " + std::to_string(number);
  const bool exists = number < BlocksOf(target, state);
  if (write) {
    const std::span<const std::uint8_t> data = payload.subspan(kAddressBytes, kBlockBytes);
    ++block_writes_;
    const bool refused =
        (faults_.writes_before_failure && block_writes_ > *faults_.writes_before_failure) ||
        (block_writes_ >= faults_.refused_writes_from &&
         block_writes_ - faults_.refused_writes_from < faults_.refused_writes_count);
    if (!exists || refused) {
      if (exists && faults_.refused_writes_land) {
        state.classic_blocks[{target, number}].assign(data.begin(), data.end());
      }
      log_->Line("classic write " + where + " " + Hex(data) + " failed");
      return Reply{};
    }
    state.classic_blocks[{target, number}].assign(data.begin(), data.end());
    log_->Line("classic write " + where + " " + Hex(data));
    return Reply{kClassicReplyAck, {}};
  }
  if (!exists || faults_.failing_reads.count({target, number}) != 0) {
    log_->Line("classic read " + where + " failed");
    return Reply{};
  }
  log_->Line("classic read " + where);
  Reply reply{kClassicReplyData, std::vector<std::uint8_t>(kBlockBytes, 0)};
  const auto stored = state.classic_blocks.find({target, number});
  if (stored != state.classic_blocks.end()) {
    std::copy_n(stored->second.begin(), std::min(stored->second.size(), kBlockBytes),
                reply.data.begin());
  }
  return reply;
}

std::array<std::uint8_t, kClassicReplySize> ClassicController::Encode(const Reply& reply) const {
  // 0x55, status, data length m, m data bytes, then the byte sum of status,
  // length and data; zeros to the end.
  std::vector<std::uint8_t> data = reply.data;
  if (faults_.short_data && reply.status == kClassicReplyData && !data.empty()) data.pop_back();
  data.resize(std::min(data.size(), kClassicReplySize - 4));  // room for header and checksum
  std::array<std::uint8_t, kClassicReplySize> bytes{};
  bytes[0] = kSync;
  bytes[1] = reply.status;
  bytes[2] = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), bytes.begin() + 3);
  const std::size_t checksum_at = 3 + data.size();
  bytes[checksum_at] = ByteSum(std::span<const std::uint8_t>(bytes).subspan(1, checksum_at - 1));
  if (faults_.garbage) {
    bytes[0] = static_cast<std::uint8_t>(~bytes[0]);
    bytes[1] = static_cast<std::uint8_t>(~bytes[1]);
    ++bytes[checksum_at];
  }
  return bytes;
}

}  // namespace lumaro::sim
