#include "calibration-tool/session_flow.h"

#include <unistd.h>

#include <algorithm>
#include <span>

#include "calibration-common/residual.h"
#include "calibration-tool/calib_fit.h"
#include "calibration-tool/calib_params.h"
#include "driver-interface/requests.h"

namespace lumaro {

CalibrationFlow::CalibrationFlow(CalibSession& session, const ReadStatus& reads, DeviceIo& io,
                                 CalibrationScreen& screen, ScreenSize size, std::FILE* out)
    : s_(session),
      reads_(reads),
      io_(io),
      screen_(screen),
      size_(size),
      buttons_(ResultButtons(size)),
      out_(out) {}

std::optional<std::int32_t> CalibrationFlow::Counter() const {
  if (s_.count < s_.required) return counters_.packet_count;
  return std::nullopt;
}

void CalibrationFlow::Begin() {
  s_.count = 0;
  screen_.DrawCrosshair(FirstCrosshair(size_), Counter());
}

void CalibrationFlow::Poll() {
  if (finished_) return;
  if (io_.Access(kTouchNodePath, F_OK) != 0) {
    failure_ = "the controller was unplugged during the session";
    FinishSession();
    return;
  }
  if (io_.Request(s_.fd, GET_TOUCH_PACKET, s_.packet) != 0) return;
  HandlePacket();
}

void CalibrationFlow::HandlePacket() {
  if (finished_) return;
  ContactCounters& c = counters_;
  const std::uint8_t type = touch_packet::Type(s_.packet);
  if (type == touch_packet::kContact) {
    if (s_.touching == 0) {
      s_.touching = 1;
      s_.firstPacket = s_.packet;
    }
    if (c.accepted == 1) return;
    const int x = touch_packet::X(s_.packet);
    const int y = touch_packet::Y(s_.packet);
    const int dx = x - touch_packet::X(s_.firstPacket);
    const int dy = y - touch_packet::Y(s_.firstPacket);
    const bool strays = dx < -kSteadyTolerance || dx > kSteadyTolerance || dy < -kSteadyTolerance ||
                        dy > kSteadyTolerance;
    if (strays || c.moved == 1) {
      c.moved = 1;
      c.packet_count = 0;
    } else if (c.packet_count < kSteadyPackets) {
      ++c.packet_count;
    } else {
      c.accepted = 1;
    }
    if (c.accepted == 1 && c.moved == 0 && s_.count < s_.required) {
      s_.rawX[s_.count] = static_cast<float>(x);
      s_.rawY[s_.count] = static_cast<float>(y);
      ++s_.count;
      ++c.grid_col;
      if (c.grid_col % 4 == 0) ++c.grid_row;
    }
    ShowStep();
  } else if (type == touch_packet::kRelease) {
    if (s_.touching == 0) return;
    s_.touching = 0;
    c.moved = 0;
    c.accepted = 0;
    c.packet_count = 0;
    ShowStep();
  }
}

void CalibrationFlow::ShowStep() {
  if (s_.count >= s_.required) {
    ShowResultFace();
    return;
  }
  PixelPoint target{};
  if (s_.advanced == 1) {
    if (counters_.grid_col % 4 == 0) counters_.grid_col = 0;
    target = GridTarget(size_, counters_.grid_col, counters_.grid_row);
  } else {
    target = CornerTarget(size_, s_.count);
  }
  screen_.DrawCrosshair(target, Counter());
  s_.targetX[s_.count] = TargetUnits(target.x, size_.width);
  s_.targetY[s_.count] = TargetUnits(target.y, size_.height);
}

void CalibrationFlow::ShowResultFace() {
  screen_.ShowPointer();
  screen_.Clear();
  screen_.DrawButtons(kNoButton, Counter());
  CompleteCalibration();
  screen_.DrawNote(not_stored_.empty() ? ResidualText(FitResidual()) : NotStoredText(not_stored_));
}

Residual CalibrationFlow::FitResidual() const {
  const auto n = static_cast<std::size_t>(std::clamp(s_.required, 0, kMaxCalibPoints));
  const double to_x = static_cast<double>(size_.width) / kTargetScale;
  const double to_y = static_cast<double>(size_.height) / kTargetScale;
  return MeasureResidual(n, [&](std::size_t i) {
    const double x = s_.rawX[i], y = s_.rawY[i];
    return PixelMiss{(EvaluateMap(s_.CalibX, x, y) - s_.targetX[i]) * to_x,
                     (EvaluateMap(s_.CalibY, x, y) - s_.targetY[i]) * to_y};
  });
}

void CalibrationFlow::CompleteCalibration() {
  const auto n = static_cast<std::size_t>(std::clamp(s_.required, 0, kMaxCalibPoints));
  const CalibPoints points{std::span(s_.targetX).first(n), std::span(s_.targetY).first(n),
                           std::span(s_.rawX).first(n), std::span(s_.rawY).first(n)};
  if (!FitAxes(points, s_.CalibX, s_.CalibY, s_.advanced == 1)) {
    not_stored_ = "nothing stored: the fit failed (are the touches in a line?)";
    return;
  }
  if (!reads_.All()) {
    // The blocks' uninterpreted bytes were never read: writing them would
    // overwrite the controller's with zeros.
    std::fputs("Calibration not stored: the controller's parameters could not be read.\n", out_);
    std::fflush(out_);
    not_stored_ = "nothing stored: the controller's parameters could not be read";
    return;
  }
  device_config::SetCalibState(s_.DeviceConfig, 1);
  not_stored_ = StoreParameters(s_, reads_, io_, out_)
                    ? ""
                    : "the controller refused to store the calibration";
}

void CalibrationFlow::OnKeyPress(unsigned long keysym) {
  if (finished_) return;
  if (keysym == kEscapeKeysym) RestoreParameters();
}

void CalibrationFlow::OnButtonPress(std::uint32_t x, std::uint32_t y) {
  if (finished_ || s_.count < s_.required) return;
  const int hit = HitButton(buttons_, x, y);
  if (hit != kNoButton) screen_.DrawButtons(hit, Counter());
}

void CalibrationFlow::OnButtonRelease(std::uint32_t x, std::uint32_t y) {
  if (finished_ || s_.count < s_.required) return;
  screen_.DrawButtons(kNoButton, Counter());
  switch (HitButton(buttons_, x, y)) {
    case kButtonRecalibrate:
      Recalibrate();
      break;
    case kButtonOk:
      failure_ = not_stored_;
      FinishSession();
      break;
    case kButtonCancel:
      RestoreParameters();
      break;
    default:
      break;
  }
}

void CalibrationFlow::Recalibrate() {
  SendFlag(io_, s_.fd, SET_START_CALIB, 1, out_);
  if (s_.advanced == 1) {
    counters_.grid_row = 0;
    counters_.grid_col = 0;
  }
  screen_.Clear();
  screen_.HidePointer();
  s_.count = 0;
  screen_.DrawCrosshair(FirstCrosshair(size_), Counter());
}

void CalibrationFlow::RestoreParameters() {
  if (finished_) return;
  RecallSavedParameters(s_);
  if (!StoreParameters(s_, reads_, io_, out_)) {
    failure_ = "the controller refused to take the saved parameters back";
  }
  FinishSession();
}

void CalibrationFlow::FinishSession() {
  if (finished_) return;
  SendFlag(io_, s_.fd, SET_START_CALIB, 0, out_);
  finished_ = true;
}

}  // namespace lumaro
