// The one lazy playback cursor over a trace, and the controller state it
// builds, shared by the simulator's two nodes: /dev/lumaro takes frames and
// read errors (`read`) and touch packets (GET_TOUCH_PACKET) from it,
// /dev/LumaroClassic takes events (CLASSIC_TOUCH_READ). Each stream passes over the
// records of the others; state records apply to the one state.
//
// Pure logic: the umockdev glue calls it from its handler thread and from the
// main thread (playback while unplugged), so every entry point takes the one
// lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "simulator/sim_log.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

namespace lumaro::sim {

// What the next read does, and how long playback paused before it.
struct ReadStep {
  enum class Kind : std::uint8_t {
    kFrame,      // bytes: the frame
    kError,      // error: the errno of a failed read
    kUnplug,     // the node goes away; the read fails with ENODEV
    kExhausted,  // the trace is over; the read never completes
    kZero,       // the read returns 0 bytes
    kNoFrame,    // no frame now: the read times out (ETIMEDOUT), as a driver's
                 // read does while the controller sends no frames
  };
  Kind kind = Kind::kExhausted;
  std::vector<std::uint8_t> bytes;
  int error = 0;
  std::uint32_t wait_ms = 0;  // sum of the `wait` records passed on the way
};

// What playback does while the nodes are unplugged.
struct UnpluggedStep {
  enum class Kind : std::uint8_t { kWait, kPlug, kExhausted };
  Kind kind = Kind::kExhausted;
  std::uint32_t wait_ms = 0;
};

// The paced streams: touch packets (`packet`, GET_TOUCH_PACKET) and
// classic touch events (`event`, CLASSIC_TOUCH_READ).
enum class PacedStream : std::uint8_t { kTouchPackets, kClassicEvents };

// What a paced request does at a given moment. Every step of a paced stream
// (a packet or event, an unplug, the end of the trace) is due one period
// after the previous item's due time plus the waits passed on the way; the
// first step, and the first after an unplug, is due when it is first asked
// for, plus its waits.
struct PacketStep {
  enum class Kind : std::uint8_t {
    kPacket,  // bytes: the packet (or event), answered now
    kNotDue,  // the next step is due later than now
    kFail,    // the request fails with `error`: EIO while `fail CODE` is in
              // force, EAGAIN once the trace is over
    kUnplug,  // the nodes go away; the request fails with ENODEV
  };
  Kind kind = Kind::kNotDue;
  std::vector<std::uint8_t> bytes;
  std::int64_t due_us = 0;  // when the step is (or was) due
  int error = 0;
  bool trace_over = false;  // playback has reached the end of the trace
};

// Faults injected on top of the trace.
struct FaultOptions {
  int short_read_every = 0;  // every Nth frame comes back cut to half (0: never)
  int fail_every = 0;        // every Nth request to /dev/lumaro fails with EIO (0: never)
};

class TracePlayer {
 public:
  // `packet_rate`: packets (and events) served per second.
  TracePlayer(const trace::Trace* trace, SimLog* log, double packet_rate = 200.0,
              FaultOptions faults = {});

  // True when this request is one that --fail-every makes fail.
  bool InjectRequestFailure();

  // A program opened a node: apply the state records that lie ahead (unless
  // a paced step taken from the trace is still waiting to be due: the records
  // below it are not reached yet).
  void OnOpen();

  // What the read stream does at a `packet` record: pass over it, or stop
  // there (kNoFrame, the cursor left on the packet) for the program that
  // takes the packets.
  enum class AtPackets : std::uint8_t { kPassOver, kStop };

  // Applies state records and takes the next record of the read stream.
  ReadStep NextRead(AtPackets at_packets = AtPackets::kPassOver);

  // Takes the stream's next step at `now_us` (microseconds on any monotonic
  // clock): applies state records, passes waits, skips the records of other
  // streams, and holds a step that is not yet due for the next call. While
  // `fail CODE` is in force for the stream's request, the stream plays on at
  // its pace, its items lost, so that the trace still ends.
  PacketStep NextPacket(PacedStream stream, std::int64_t now_us);

  // True when playback begins unplugged (the first record after the state
  // records is `unplug`); that record is then consumed.
  bool StartsUnplugged();

  // Advances playback while the nodes are unplugged, up to its `plug`.
  UnpluggedStep NextUnplugged();

  trace::ControllerState State() const;

  // Runs `f(ControllerState&)` under the lock: a controller's request.
  template <class F>
  decltype(auto) WithState(F&& f) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<F>(f)(state_);
  }

 private:
  // A step of a paced stream taken from the trace, with its due time.
  struct Pending {
    enum class Kind : std::uint8_t { kPacket, kUnplug, kEnd };
    Kind kind = Kind::kEnd;
    std::vector<std::uint8_t> bytes;
    std::int64_t due_us = 0;
  };
  struct Paced {
    std::optional<Pending> pending;
    // Due time of the last item served; none before the first one and after
    // an unplug.
    std::optional<std::int64_t> last_due_us;
  };
  Pending Take(PacedStream stream, std::int64_t now_us);
  void LogEndOnce();

  mutable std::mutex mutex_;
  trace::Playback playback_;
  trace::ControllerState state_;
  bool end_logged_ = false;
  std::int64_t period_us_;
  std::array<Paced, 2> paced_;
  SimLog* log_;
  FaultOptions faults_;
  std::uint64_t frames_served_ = 0;
  std::uint64_t requests_served_ = 0;
};

}  // namespace lumaro::sim
