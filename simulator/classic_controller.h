// The classic controller behind /dev/LumaroClassic as the simulator plays it
// from a trace: 32-byte blocks per target (the main record at 0x80, blocks 0
// to 31; units 0 to 3, blocks 0 to 3) kept in the shared controller state,
// the packet command channel (CLASSIC_CMD_WRITE, CLASSIC_CMD_READ and
// CLASSIC_CMD_LENGTH), the fixed calibration requests, and touch events for
// CLASSIC_TOUCH_READ.
//
// Pure logic over the shared TracePlayer, whose lock guards everything here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"
#include "simulator/camera_controller.h"
#include "simulator/sim_log.h"
#include "simulator/trace_player.h"

namespace lumaro::sim {

// Reply status bytes (offset 1 of a reply).
inline constexpr std::uint8_t kClassicReplyAck = classic_packet::kReplyAck;
inline constexpr std::uint8_t kClassicReplyData = classic_packet::kReplyData;
inline constexpr std::uint8_t kClassicReplyFailed = 0xF0;

// Ways to make the controller misbehave, for tests of its client.
struct ClassicFaults {
  // (target, block) pairs whose reads get a failure status.
  std::set<std::pair<std::uint32_t, std::uint32_t>> failing_reads;
  // Block writes that succeed; every later one gets a failure status.
  std::optional<std::uint64_t> writes_before_failure;
  // Block writes number refused_writes_from to refused_writes_from +
  // refused_writes_count - 1 (the first write is number 1) get a failure
  // status; the writes after them succeed again.
  std::uint64_t refused_writes_from = 0;
  std::uint64_t refused_writes_count = 0;
  // Refused writes are stored all the same, as a controller that failed
  // part-way through may have stored them.
  bool refused_writes_land = false;
  bool short_data = false;  // data replies carry one data byte less
  bool garbage = false;     // replies with inverted sync and status bytes
                            // and a wrong checksum
};

class ClassicController {
 public:
  ClassicController(TracePlayer* player, SimLog* log, ClassicFaults faults = {});

  TracePlayer* player() { return player_; }

  // Bytes of the caller's argument to map for request `code`: the byte count
  // set by request 66 for 64 and 65 (0 when it is above 64), the fixed block
  // size for the others, 0 for a code this node does not serve.
  std::size_t ArgumentSize(unsigned long code);

  // Serves one request other than CLASSIC_TOUCH_READ; `block` holds the caller's argument
  // (ArgumentSize bytes). Request 65 returns the number of bytes read.
  RequestOutcome Request(unsigned long code, std::span<std::uint8_t> block);

  // CLASSIC_TOUCH_READ at `now_us`: the event stream's next step.
  PacketStep NextEvent(std::int64_t now_us) {
    return player_->NextPacket(PacedStream::kClassicEvents, now_us);
  }

  // The last block handed over with CLASSIC_CALIB_SET (empty before the first).
  std::vector<std::uint8_t> calibration();

 private:
  struct Reply {
    std::uint8_t status = kClassicReplyFailed;
    std::vector<std::uint8_t> data;
  };
  RequestOutcome Serve(unsigned long code, std::span<std::uint8_t> block,
                       trace::ControllerState& state);
  // Checks and carries out one command packet; logs it.
  Reply Execute(std::span<const std::uint8_t> packet, trace::ControllerState& state);
  Reply BlockCommand(bool write, std::uint32_t target, std::span<const std::uint8_t> payload,
                     trace::ControllerState& state);
  std::array<std::uint8_t, kClassicReplySize> Encode(const Reply& reply) const;

  TracePlayer* player_;
  SimLog* log_;
  ClassicFaults faults_;
  std::uint64_t transfer_count_ = 0;                                  // set by request 66
  std::optional<std::array<std::uint8_t, kClassicReplySize>> reply_;  // awaiting request 65
  std::uint64_t block_writes_ = 0;
  std::vector<std::uint8_t> calibration_;
};

// "0x80" for the main record, the unit number otherwise, as traces write it.
std::string ClassicTargetName(std::uint32_t target);

}  // namespace lumaro::sim
