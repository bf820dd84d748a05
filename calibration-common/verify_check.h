// The verify pass's arithmetic, free of X and sockets: the targets, the
// touches followed in the daemon's report lines, the error at each target
// and the verdict against the tolerance.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration-common/residual.h"

namespace lumaro {

// The targets, as fractions of the screen: the centre and two points between
// the calibration targets (corners at 1/20 and 1/18, a grid at 0.05, 0.35,
// 0.65 and 0.95), so that the check sees the map where it was not fitted.
inline constexpr std::array<std::array<double, 2>, 3> kVerifyTargets = {
    {{0.5, 0.5}, {0.2, 0.8}, {0.8, 0.2}}};
// The largest error in pixels that passes, unless --tolerance says otherwise.
inline constexpr double kDefaultVerifyTolerance = 10.0;
// Report coordinates span the screen in this many units per axis.
inline constexpr double kReportUnits = 32768.0;

struct ScreenPoint {
  double x;
  double y;
};

// Follows the first contact record of the daemon's report lines: a touch is
// the run of reports with the contact down; it ends at the report that lifts
// it, at the position of the last report that held it down.
class TouchFollower {
 public:
  // One line of the stream; the touch just ended, in report units, if any.
  std::optional<ScreenPoint> OnLine(std::string_view line);

 private:
  std::optional<ScreenPoint> down_;
};

// The verify pass over a screen of `width` x `height` pixels.
class VerifyCheck {
 public:
  VerifyCheck(double width, double height, double tolerance)
      : width_(width), height_(height), tolerance_(tolerance) {}

  // The target still to be touched, in pixels; none once all are done.
  std::optional<ScreenPoint> Target() const;
  // A touch at `report` (report units) for the current target: its error in
  // pixels.
  double Touch(ScreenPoint report);
  bool done() const { return errors_.size() == kVerifyTargets.size(); }
  Residual Errors() const;
  bool Passed() const { return done() && Errors().largest <= tolerance_; }
  // "verify: largest E px, mean M px, tolerance T px: pass" (or "FAIL").
  std::string Verdict() const;

 private:
  double width_;
  double height_;
  double tolerance_;
  std::vector<double> errors_;
};

}  // namespace lumaro
