#include "classic-calibration-tool/classic_flow.h"

#include <algorithm>

#include "calibration-common/residual.h"
#include "classic-calibration-tool/classic_fit.h"
#include "driver-interface/requests.h"

namespace lumaro {

std::string StoreMainRecord(ClassicContext& c, ClassicChannel& ch) {
  if (c.config.main_ok == 0) {
    return "the controller's configuration could not be read, so nothing was stored";
  }
  // Segments 5 to 8 may have failed to read; they are not written either.
  switch (main_record_replace(ch, c.config.main, c.saved_main, c.config.main_read)) {
    case RecordWrite::kStored:
      return "";
    case RecordWrite::kKept:
      return "the controller refused the record write; the old record is kept";
    case RecordWrite::kInconsistent:
      break;
  }
  return "the controller refused the record write and the old record could not be written back: "
         "the record may be inconsistent";
}

std::string ClassicReset(ClassicContext& c, ClassicChannel& ch) {
  classic_record::SetCalibrated(c.config.main, 0);
  SendClassicCalib(ch, c.calib);
  SendClassicFlag(ch, CLASSIC_CALIB_APPLY);
  return StoreMainRecord(c, ch);
}

ClassicFlow::ClassicFlow(ClassicContext& context, ClassicChannel& channel,
                         CalibrationScreen& screen, ScreenSize size, std::FILE* out)
    : c_(context),
      ch_(channel),
      screen_(screen),
      size_(size),
      buttons_(ClassicButtons(size)),
      out_(out) {}

void ClassicFlow::Begin() {
  screen_.DrawCrosshair(Point(0), std::nullopt);
  c_.point_index = 0;
}

void ClassicFlow::Poll() {
  if (finished_ || ch_.fd < 0) return;
  if (ch_.io.Request(ch_.fd, CLASSIC_TOUCH_READ, c_.event) != 0) return;
  HandleEvent();
}

void ClassicFlow::HandleEvent() {
  if (finished_) return;
  const std::uint8_t type = classic_event::Type(c_.event);
  if (type == classic_event::kContact) {
    if (c_.contact_taken == 1 || c_.point_index > 3 || c_.point_index < 0) return;
    c_.contact_taken = 1;
    c_.touches[c_.point_index] = {static_cast<double>(classic_event::X(c_.event)),
                                  static_cast<double>(classic_event::Y(c_.event))};
    ClassicTakePoint(c_.point_index);
    ++c_.point_index;
  } else if (type == classic_event::kRelease) {
    if (c_.point_index <= 3) c_.contact_taken = 0;
  }
}

void ClassicFlow::ClassicTakePoint(std::int32_t k) {
  if (k < 0 || k >= kClassicPoints) return;
  // Screen positions in raw units from 0, in single precision.
  const auto [fx, fy] = RawUnitsPerPixel();
  const PixelPoint p = Point(k);
  c_.targets[k] = {static_cast<double>(fx * static_cast<float>(p.x)),
                   static_cast<double>(fy * static_cast<float>(p.y))};
  if (k < kClassicPoints - 1) {
    screen_.DrawCrosshair(Point(k + 1), std::nullopt);
    return;
  }
  ClassicCalibrate();
  SendClassicCalib(ch_, c_.calib);
  SendClassicFlag(ch_, CLASSIC_CALIB_END);
  screen_.ShowPointer();
  screen_.Clear();
  screen_.DrawButtons(kNoButton, std::nullopt);
  not_stored_ =
      c_.calib[0] == 0 ? "nothing stored: the fit failed (are the touches in a line?)" : "";
  screen_.DrawNote(not_stored_.empty() ? ResidualText(FitResidual()) : NotStoredText(not_stored_));
  SendClassicFlag(ch_, CLASSIC_CALIB_APPLY);
}

std::pair<float, float> ClassicFlow::RawUnitsPerPixel() const {
  return {(RawSpanValue(c_, 1) - RawSpanValue(c_, 0)) / static_cast<float>(size_.width),
          (RawSpanValue(c_, 3) - RawSpanValue(c_, 2)) / static_cast<float>(size_.height)};
}

Residual ClassicFlow::FitResidual() const {
  // Named copies: clang before 16 cannot capture a structured binding.
  const std::pair<float, float> per_pixel = RawUnitsPerPixel();
  const float fx = per_pixel.first;
  const float fy = per_pixel.second;
  return MeasureResidual(kClassicPoints, [&](std::size_t i) {
    const ClassicPoint at = EvaluateClassicMap(c_.calib, c_.touches[i].x, c_.touches[i].y);
    return PixelMiss{(at.x - c_.targets[i].x) / fx, (at.y - c_.targets[i].y) / fy};
  });
}

void ClassicFlow::ClassicCalibrate() {
  c_.fit_type = kClassicFitType;
  // A failed fit leaves type 0 (no calibration) in calib byte 0.
  const auto n = static_cast<std::size_t>(
      std::clamp<std::int32_t>(c_.point_count, 0, static_cast<std::int32_t>(c_.touches.size())));
  ClassicFit(c_.fit_type, std::span<const ClassicPoint>(c_.touches).first(n),
             std::span<const ClassicPoint>(c_.targets).first(n), c_.raw_span, c_.calib);
  classic_calib::SetState(c_.calib, classic_calib::kStateComputed);
}

void ClassicFlow::OnKeyPress(unsigned long keysym) {
  if (finished_ || keysym != kEscapeKeysym) return;
  Interrupt();
  screen_.Release();
}

void ClassicFlow::Interrupt() {
  if (finished_) return;
  SendClassicFlag(ch_, CLASSIC_CALIB_END);
  finished_ = true;
}

void ClassicFlow::OnButtonPress(std::uint32_t x, std::uint32_t y) {
  if (finished_ || c_.point_index != kClassicPoints) return;
  const int hit = HitButton(buttons_, x, y);
  if (hit != kNoButton) screen_.DrawButtons(hit, std::nullopt);
}

void ClassicFlow::OnButtonRelease(std::uint32_t x, std::uint32_t y) {
  if (finished_ || c_.point_index != kClassicPoints) return;
  screen_.DrawButtons(kNoButton, std::nullopt);
  switch (HitButton(buttons_, x, y)) {
    case kButtonRecalibrate:
      Recalibrate();
      break;
    case kButtonOk:
      Accept();
      break;
    case kButtonCancel:
      Cancel();
      break;
    default:
      break;
  }
}

void ClassicFlow::Recalibrate() {
  // contact_taken stays: the first point of the new pass follows a release.
  screen_.Clear();
  screen_.HidePointer();
  c_.point_index = 0;
  screen_.DrawButtons(kButtonRecalibrate, std::nullopt);
  SendClassicFlag(ch_, CLASSIC_CALIB_BEGIN);
  screen_.DrawCrosshair(Point(0), std::nullopt);
}

void ClassicFlow::Accept() {
  if (!not_stored_.empty()) {
    // A failed fit is never accepted: Ok keeps the old record, as Cancel does.
    Cancel();
    failure_ = not_stored_;
    return;
  }
  SendClassicFlag(ch_, CLASSIC_CALIB_ACCEPT);
  screen_.DrawButtons(kButtonOk, std::nullopt);
  screen_.Release();
  std::copy_n(c_.calib.begin(), classic_calib::kResultSize,
              c_.config.main.begin() + classic_record::kCalibrationOffset);
  classic_record::SetCalibrated(c_.config.main, 1);
  std::fputs("Writing the calibration to the controller (a few seconds)...\n", out_);
  std::fflush(out_);
  failure_ = StoreMainRecord(c_, ch_);
  std::fputs(failure_.empty() ? "Calibration written.\n" : "Calibration not written.\n", out_);
  std::fflush(out_);
  finished_ = true;
}

void ClassicFlow::Cancel() {
  screen_.DrawButtons(kButtonCancel, std::nullopt);
  SendClassicFlag(ch_, CLASSIC_CALIB_END);
  classic_calib::SetState(c_.calib, classic_calib::kStateCancelled);
  SendClassicCalib(ch_, c_.calib);
  SendClassicFlag(ch_, CLASSIC_CALIB_APPLY);
  ClassicQuit();
}

void ClassicFlow::ClassicQuit() {
  if (finished_) return;
  screen_.Release();
  finished_ = true;
}

}  // namespace lumaro
