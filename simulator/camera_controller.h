// The camera controller behind /dev/lumaro as the simulator plays it from a
// trace: it answers driver requests from the trace's blocks, applies SET
// requests to its state, serves frames and read errors to `read` and touch
// packets to request 192 in order, and logs every request and every report
// written to it.
//
// Pure logic: the umockdev glue calls it from its handler thread (requests,
// reads, writes) and from the main thread (playback while unplugged), so
// every entry point takes the one lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "simulator/sim_log.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

namespace lumaro::sim {

struct RequestOutcome {
  int result = 0;  // what ioctl returns: 0, or -1 with `error`
  int error = 0;
};

// What the next read does, and how long playback paused before it.
struct ReadStep {
  enum class Kind : std::uint8_t {
    kFrame,      // bytes: the frame
    kError,      // error: the errno of a failed read
    kUnplug,     // the node goes away; the read fails with ENODEV
    kExhausted,  // the trace is over; the read never completes
  };
  Kind kind = Kind::kExhausted;
  std::vector<std::uint8_t> bytes;
  int error = 0;
  std::uint32_t wait_ms = 0;  // sum of the `wait` records passed on the way
};

// What playback does while the node is unplugged.
struct UnpluggedStep {
  enum class Kind : std::uint8_t { kWait, kPlug, kExhausted };
  Kind kind = Kind::kExhausted;
  std::uint32_t wait_ms = 0;
};

// What request 192 does at a given moment. Every step of the packet stream
// (a packet, an unplug, the end of the trace) is due one packet period after
// the previous packet's due time plus the waits passed on the way; the first
// step, and the first after an unplug, is due when it is first asked for,
// plus its waits.
struct PacketStep {
  enum class Kind : std::uint8_t {
    kPacket,  // bytes: the packet, answered now
    kNotDue,  // the next step is due later than now
    kFail,    // the request fails with `error`: EIO while `fail 192` is in
              // force, EAGAIN once the trace is over
    kUnplug,  // the node goes away; the request fails with ENODEV
  };
  Kind kind = Kind::kNotDue;
  std::vector<std::uint8_t> bytes;
  std::int64_t due_us = 0;  // when the step is (or was) due
  int error = 0;
  bool trace_over = false;  // playback has reached the end of the trace
};

class CameraController {
 public:
  // `packet_rate`: touch packets served per second.
  CameraController(const trace::Trace* trace, SimLog* log, double packet_rate = 200.0);

  // The program opened the node: apply the state records that lie ahead
  // (unless a packet taken from the trace is still waiting to be due: the
  // records below it are not reached yet).
  void OnOpen();

  // Block size of request `code`, or 0 for a request this node does not serve.
  static std::size_t RequestSize(unsigned long code);

  // Serves one request; `block` holds the caller's block (RequestSize bytes):
  // read for SET requests, filled for GET requests.
  RequestOutcome Request(unsigned long code, std::span<std::uint8_t> block);

  // Applies state records and takes the next record of the read stream.
  ReadStep NextRead();

  // Takes the packet stream's next step at `now_us` (microseconds on any
  // monotonic clock): applies state records, passes waits, skips the records
  // of other streams, and holds a step that is not yet due for the next call.
  // Request 192 is answered here, not by Request(), because it needs the clock.
  // While `fail 192` is in force the stream plays on at its pace, its packets
  // lost, so that the trace still ends.
  PacketStep NextPacket(std::int64_t now_us);

  // Logs a report that the program wrote.
  void OnWrite(std::span<const std::uint8_t> bytes);

  // True when playback begins with the node unplugged (the first record
  // after the state records is `unplug`); that record is then consumed.
  bool StartsUnplugged();

  // Advances playback while the node is unplugged, up to its `plug`.
  UnpluggedStep NextUnplugged();

  bool calibration_mode() const;
  trace::ControllerState State() const;

 private:
  // A step of the packet stream taken from the trace, with its due time.
  struct PendingPacket {
    enum class Kind : std::uint8_t { kPacket, kUnplug, kEnd };
    Kind kind = Kind::kEnd;
    std::vector<std::uint8_t> bytes;
    std::int64_t due_us = 0;
  };
  PendingPacket TakePacket(std::int64_t now_us);
  void LogEndOnce();

  mutable std::mutex mutex_;
  trace::Playback playback_;
  trace::ControllerState state_;
  bool calibration_mode_ = false;
  bool end_logged_ = false;
  std::int64_t packet_period_us_;
  std::optional<PendingPacket> pending_packet_;
  // Due time of the last packet served; none before the first one and after
  // an unplug.
  std::optional<std::int64_t> last_packet_due_us_;
  SimLog* log_;
};

}  // namespace lumaro::sim
