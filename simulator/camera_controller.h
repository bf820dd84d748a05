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
// Calibration mode (SET_START_CALIB 1) sends the touches to the calibration
// tool instead of the reader, as the design implies of a controller with one
// trace of touches and two consumers:
// - In calibration mode GET_TOUCH_PACKET plays the trace, passing over the
//   frames (not sent in this mode), and a read gets no frame: it times out.
// - Once calibration mode has been entered, packets come only in it: out of
//   it GET_TOUCH_PACKET finds none due, and the frames after a session are
//   the reader's. A program that never enters it (a test of the packet
//   stream alone) gets the packets as they come.
// - In a live run (`live`), a read that comes to a `packet` record waits
//   there (its reads time out) for a calibration session to take the
//   packets: a trace that holds packets between frames is a session recorded
//   beside a reader. Once the session has left calibration mode, the read
//   stream passes over the packets it left. An offline replay has no one to
//   take them and passes over them at once.
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
  // `packet_rate`: touch packets (and classic events) served per second;
  // `live`: a calibration tool may run beside the reader (see above).
  CameraController(const trace::Trace* trace, SimLog* log, double packet_rate = 200.0,
                   FaultOptions faults = {}, bool live = false);

  // The player both nodes play from.
  TracePlayer* player() { return &player_; }

  // The program opened the node: see TracePlayer::OnOpen.
  void OnOpen() { player_.OnOpen(); }

  // Block size of request `code`, or 0 for a request this node does not serve.
  static std::size_t RequestSize(unsigned long code);

  // Serves one request; `block` holds the caller's block (RequestSize bytes):
  // read for SET requests, filled for GET requests.
  RequestOutcome Request(unsigned long code, std::span<std::uint8_t> block);

  // The read stream's next step: see TracePlayer::NextRead, and kNoFrame
  // while calibration mode holds the frames back. The first frame after a
  // change of the calibration is marked kReinitFrameMarker.
  ReadStep NextRead();

  // GET_TOUCH_PACKET at `now_us`: see TracePlayer::NextPacket; nothing is
  // due out of calibration mode once it has been entered. It is answered
  // here, not by Request(), because it needs the clock.
  PacketStep NextPacket(std::int64_t now_us);

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
  // Guarded by the player's lock:
  bool calibration_mode_ = false;
  bool calibration_entered_ = false;  // calibration mode has been on
  bool calibration_left_ = false;     // left since the last frame served
  bool calibration_changed_ = false;
  const char* held_by_ = nullptr;  // why reads time out, since the last step served
  SimLog* log_;
  bool live_;
};

}  // namespace lumaro::sim
