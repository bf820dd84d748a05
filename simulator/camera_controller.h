// The camera controller behind /dev/lumaro as the simulator plays it from a
// trace: it answers driver requests from the trace's blocks, applies SET
// requests to its state, serves frames and read errors to `read` and touch
// packets to GET_TOUCH_PACKET in order, and logs every request and every report
// written to it.
//
// A controller whose calibration changes (a SET of CalibX, CalibY or
// DeviceConfig with new bytes, or a reset that clears CalibState) marks the
// next frame it serves 0xA1, the marker that makes its reader identify it
// again and so read the new blocks. The system's design implies this of the
// real controller: nothing else tells a running daemon that the map changed.
//
// It owns the trace's player (cursor and state); the classic controller of
// the same run shares that player. Pure logic, safe to call from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "simulator/sim_log.h"
#include "simulator/trace_player.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

namespace lumaro::sim {

struct RequestOutcome {
  int result = 0;  // what ioctl returns: 0 (or a byte count), or -1 with `error`
  int error = 0;
};

class CameraController {
 public:
  // `packet_rate`: touch packets (and classic events) served per second.
  CameraController(const trace::Trace* trace, SimLog* log, double packet_rate = 200.0,
                   FaultOptions faults = {});

  // The player both nodes play from.
  TracePlayer* player() { return &player_; }

  // The program opened the node: see TracePlayer::OnOpen.
  void OnOpen() { player_.OnOpen(); }

  // Block size of request `code`, or 0 for a request this node does not serve.
  static std::size_t RequestSize(unsigned long code);

  // Serves one request; `block` holds the caller's block (RequestSize bytes):
  // read for SET requests, filled for GET requests.
  RequestOutcome Request(unsigned long code, std::span<std::uint8_t> block);

  // The read stream's next step: see TracePlayer::NextRead. The first frame
  // after a change of the calibration is marked kReinitFrameMarker.
  ReadStep NextRead();

  // GET_TOUCH_PACKET at `now_us`: see TracePlayer::NextPacket. It is answered
  // here, not by Request(), because it needs the clock.
  PacketStep NextPacket(std::int64_t now_us) {
    return player_.NextPacket(PacedStream::kTouchPackets, now_us);
  }

  // Logs a report that the program wrote.
  void OnWrite(std::span<const std::uint8_t> bytes);

  bool StartsUnplugged() { return player_.StartsUnplugged(); }
  UnpluggedStep NextUnplugged() { return player_.NextUnplugged(); }

  bool calibration_mode();
  trace::ControllerState State() const { return player_.State(); }

 private:
  // Request() under the player's lock.
  RequestOutcome Serve(unsigned long code, std::span<std::uint8_t> block,
                       trace::ControllerState& state);

  TracePlayer player_;
  bool calibration_mode_ = false;     // guarded by the player's lock
  bool calibration_changed_ = false;  // guarded by the player's lock
  SimLog* log_;
};

}  // namespace lumaro::sim
