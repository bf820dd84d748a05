// The camera controller behind /dev/lumaro as the simulator plays it from a
// trace: it answers driver requests from the trace's blocks, applies SET
// requests to its state, serves frames and read errors in order, and logs
// every request and every report written to it.
//
// Pure logic: the umockdev glue calls it from its handler thread (requests,
// reads, writes) and from the main thread (playback while unplugged), so
// every entry point takes the one lock.
#pragma once

#include <cstdint>
#include <mutex>
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

class CameraController {
 public:
  CameraController(const trace::Trace* trace, SimLog* log);

  // The program opened the node: apply the state records that lie ahead.
  void OnOpen();

  // Block size of request `code`, or 0 for a request this node does not serve.
  static std::size_t RequestSize(unsigned long code);

  // Serves one request; `block` holds the caller's block (RequestSize bytes):
  // read for SET requests, filled for GET requests.
  RequestOutcome Request(unsigned long code, std::span<std::uint8_t> block);

  // Applies state records and takes the next record of the read stream.
  ReadStep NextRead();

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
  mutable std::mutex mutex_;
  trace::Playback playback_;
  trace::ControllerState state_;
  bool calibration_mode_ = false;
  SimLog* log_;
};

}  // namespace lumaro::sim
