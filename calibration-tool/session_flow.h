// tapalign's calibration session: the packet handling with its steadiness
// rule, the order of targets, the completion with fit and store, the buttons,
// Escape and the ends of the session. Free of X: it draws through a
// CalibrationScreen and talks to the controller through a DeviceIo.
//
// A contact (touching, packet_count, moved, accepted). Its first packet is
// its reference; a packet more than 99 raw units from it in either axis
// strays. Every contact packet and every release redraws the current step.
//
//                contact packet: kept as the reference
//   +----+ ------------------------------------------> +--------+  steady packet:
//   | UP |                                             | STEADY |  packet_count + 1
//   +----+ <------------------------------------------ +--------+  (up to 100)
//    ^  ^      release: counters cleared                 |    |
//    |  |                                       strays   |    |  steady packet at
//    |  |    release    +-------+ <----------------------+    |  packet_count 100:
//    |  +-------------- | MOVED |  packet_count 0             |  the point is taken
//    |                  +-------+                             v
//    |                                                   +----------+
//    +-------------------------------------------------- | ACCEPTED |  later contact
//                       release                          +----------+  packets ignored
//
// A pass (count of required points; ReCalibrate enters calibration mode
// again, Escape works in every state):
//
//   collecting --point taken, count + 1--> collecting, next target
//   collecting --count reaches required--> result face: fit, blocks stored
//   result face --ReCalibrate--> collecting, count 0, first target
//   result face --Ok--> finished (failure when nothing was stored)
//   result face --Cancel--> saved blocks stored back, finished
//   any state --Escape, stop signal, display lost--> saved blocks stored back,
//                                                   finished
//   any state --node gone--> finished, failure
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "calibration-common/residual.h"
#include "calibration-tool/calib_screen.h"
#include "calibration-tool/calib_session.h"
#include "driver-interface/device_io.h"

namespace lumaro {

// A contact's packets must stay within this many raw units of its first
// packet, in each axis.
inline constexpr int kSteadyTolerance = 99;
// Steady packets counted before the next one gives the sample.
inline constexpr std::int32_t kSteadyPackets = 100;
class CalibrationFlow {
 public:
  CalibrationFlow(CalibSession& session, const ReadStatus& reads, DeviceIo& io,
                  CalibrationScreen& screen, ScreenSize size, std::FILE* out);

  // The last step of start-up: the first crosshair at (W/20, H/18), count 0.
  void Begin();

  // One round of the packet loop: ends the session when /dev/lumaro is gone,
  // else asks for a packet and handles it; a failed request is not reported.
  void Poll();

  // Handles the packet field: type 7 counts or strays a contact and may take
  // its sample, type 6 ends a contact; others are ignored.
  void HandlePacket();

  // Shows the current target and records its position, or completes the pass.
  void ShowStep();

  // Fits; after a successful fit sets CalibState to 1 and stores the blocks.
  void CompleteCalibration();

  // Window events, from the tick.
  void OnKeyPress(unsigned long keysym);
  void OnButtonPress(std::uint32_t x, std::uint32_t y);
  void OnButtonRelease(std::uint32_t x, std::uint32_t y);

  // Puts the saved blocks back, stores them and finishes.
  void RestoreParameters();
  // A stop signal or the display lost: as Escape. Device requests only.
  void Interrupt() { RestoreParameters(); }
  // Takes the controller out of calibration mode and marks the session
  // finished; the caller then releases the display, closes the node and exits 0.
  void FinishSession();

  bool finished() const { return finished_; }
  // What kept the session from its end, empty when it was carried out: Ok
  // with the calibration stored, or Cancel/Escape with the saved parameters
  // put back. The process then exits with status 1.
  const std::string& failure() const { return failure_; }
  const ContactCounters& counters() const { return counters_; }

 private:
  // The packet counter text is shown while the pass still collects.
  std::optional<std::int32_t> Counter() const;
  // Shows the residual of the stored fit, or why nothing was stored, below
  // the buttons.
  void ShowResultFace();
  Residual FitResidual() const;
  void Recalibrate();

  CalibSession& s_;
  const ReadStatus& reads_;
  DeviceIo& io_;
  CalibrationScreen& screen_;
  ScreenSize size_;
  ButtonRowLayout buttons_;
  std::FILE* out_;
  ContactCounters counters_;
  bool finished_ = false;
  std::string failure_;
  // Why the last completed pass stored nothing; empty when it was stored.
  std::string not_stored_ = "no calibration was completed";
};

}  // namespace lumaro
