// tapalign-classic's calibration flow: the touch loop that takes the first
// contact after each release as the next point, the fit handed to the driver
// after the fourth, the buttons and Escape, and the ends of the run. Free of
// X: it draws through a CalibrationScreen and reaches the controller through a
// ClassicChannel.
//
//   collecting k (0..3) --contact after a release--> k + 1 ... --4th--> result
//   result --ReCalibrate--> collecting 0
//   result --Ok--> store the main record, end;  --Cancel--> end
//   any state --Escape, stop signal, display lost--> calibration mode left, end
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "calibration-common/residual.h"
#include "calibration-common/screen.h"
#include "classic-calibration-tool/classic_context.h"

namespace lumaro {

// Writes the main record back when it was read at start-up, each segment only
// if it was read. Otherwise writes nothing: bytes never read must not replace
// the controller's stored configuration. A write the controller refuses
// leaves the record read at start-up (c.saved_main) in place where it can.
// Empty when the record was stored, else what happened.
std::string StoreMainRecord(ClassicContext& c, ClassicChannel& ch);

// "--reset": the calibrated flag cleared, the all-zero calibration block
// handed to the driver and applied, the main record stored. Empty when it
// was, else what failed.
std::string ClassicReset(ClassicContext& c, ClassicChannel& ch);

class ClassicFlow {
 public:
  // `out` receives the progress of the record write.
  ClassicFlow(ClassicContext& context, ClassicChannel& channel, CalibrationScreen& screen,
              ScreenSize size, std::FILE* out);

  // The end of start-up: the crosshair of point 0, and point_index 0.
  void Begin();
  // One pass of the touch loop: reads an event and handles it; a failed read
  // is repeated by the next pass.
  void Poll();
  // Type 7 takes the point when the last contact has been released, type 6
  // records a release; others are ignored.
  void HandleEvent();
  // Records target k; shows the next crosshair, or after point 3 fits and
  // shows the result face.
  void ClassicTakePoint(std::int32_t k);
  // Fits the four points (type 13) into calib, state 1.
  void ClassicCalibrate();

  // Window events, from the tick.
  void OnKeyPress(unsigned long keysym);
  void OnButtonPress(std::uint32_t x, std::uint32_t y);
  void OnButtonRelease(std::uint32_t x, std::uint32_t y);

  // Releases the display and ends the run.
  void ClassicQuit();
  // A stop signal or the display lost: as Escape, but through the device
  // only; the caller releases the display.
  void Interrupt();
  bool finished() const { return finished_; }
  // Why Ok did not store the record (exit status 1); empty otherwise.
  const std::string& failure() const { return failure_; }

 private:
  PixelPoint Point(std::int32_t k) const { return CornerTarget(size_, k); }
  // The raw span over the screen's width and height.
  std::pair<float, float> RawUnitsPerPixel() const;
  // Of the fit just made, over the four points.
  Residual FitResidual() const;
  void Recalibrate();
  void Accept();
  void Cancel();

  ClassicContext& c_;
  ClassicChannel& ch_;
  CalibrationScreen& screen_;
  ScreenSize size_;
  ButtonRowLayout buttons_;
  std::FILE* out_;
  bool finished_ = false;
  std::string failure_;
  // Why the last pass's fit cannot be stored; empty when it can.
  std::string not_stored_;
};

}  // namespace lumaro
