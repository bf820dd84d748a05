#include "tools/doctor/frame_probe.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/trace_device_io.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/engine/setup.h"
#include "touch-daemon/engine/shadows.h"
#include "touch-daemon/engine/triangulation.h"

namespace lumaro::doctor {
namespace {

// The driver may report a timed-out read as this result instead of -1.
constexpr ssize_t kTimedOutResult = -110;

LineBits Pack(const LineImage& line) {
  LineBits bits;
  for (int i = 0; i < kSamples; ++i) bits[i] = line[i] != 0;
  return bits;
}

// Plays the trace to the daemon's loop and watches every call and every
// scan's stages.
class ProbeIo final : public DeviceIo {
 public:
  ProbeIo(const trace::Trace& trace, ProbeResult& out) : inner_(&trace, nullptr), out_(out) {}

  bool exhausted() const { return inner_.exhausted(); }

  int Open(const char* path, int flags) override {
    const int fd = inner_.Open(path, flags);
    (fd >= 0 ? out_.link.sessions : out_.link.failed_opens) += 1;
    return fd;
  }
  int Close(int fd) override { return inner_.Close(fd); }
  ssize_t Read(int fd, void* buffer, std::size_t count) override {
    const ssize_t n = inner_.Read(fd, buffer, count);
    const int error = errno;
    if (n > 0) {
      TakeFrame(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n));
    } else if (n == 0) {
      ++out_.link.empty_reads;
      ++out_.link.sessions_ended_by_error;
    } else if (inner_.exhausted()) {
      // The end of the trace, not a device event.
    } else if (n == kTimedOutResult || error == ETIMEDOUT || error == ETIME) {
      ++out_.link.timeouts;
    } else if (error == ENODEV) {
      ++out_.link.unplugs;
      ++out_.link.sessions_ended_by_error;
    } else {
      ++out_.link.read_errors[error];
      ++out_.link.sessions_ended_by_error;
    }
    errno = error;
    return n;
  }
  ssize_t Write(int fd, const void* buffer, std::size_t count) override {
    const ssize_t n = inner_.Write(fd, buffer, count);
    std::array<report::Contact, 2> contacts{};
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(buffer), count);
    if (n >= 0 && report::ReadContact(bytes, 0, &contacts[0]) &&
        report::ReadContact(bytes, 1, &contacts[1])) {
      out_.reports.push_back(contacts);
    }
    return n;
  }
  int Ioctl(int fd, unsigned long request, void* block) override {
    const int result = inner_.Ioctl(fd, request, block);
    if (request == GET_PRODUCT_ID) out_.identity.requests.clear();
    out_.identity.requests.push_back({request, result >= 0});
    return result;
  }
  int Access(const char* path, int mode) override { return inner_.Access(path, mode); }

  // Takes the stages of the scan that just went through the frame path. The
  // engine's stages index the cameras as kCameraA, kCameraB do.
  void Scanned(const FrameStages& stages) {
    const ScanStages& engine = stages.Engine;
    ScanProbe scan;
    for (int c = 0; c < 2; ++c) {
      scan.lines[c] = Pack(ExpandLine(engine.Lines[c]));
      scan.shadow_count[c] = std::clamp(engine.Shadows[c].Count, 0, kMaxShadows);
      for (int i = 0; i < scan.shadow_count[c]; ++i) {
        scan.shadows[c][i] = {engine.Shadows[c].Spans[i].Start, engine.Shadows[c].Spans[i].End};
      }
    }
    scan.touches = engine.Located;
    if (scan.shadow_count[kCameraA] == 2 && scan.shadow_count[kCameraB] == 2) {
      const auto& a = engine.Angles[kCameraA];
      const auto& b = engine.Angles[kCameraB];
      const EnginePoint t00 = Triangulate(a[0], b[0]);
      const EnginePoint t11 = Triangulate(a[1], b[1]);
      const EnginePoint t01 = Triangulate(a[0], b[1]);
      const EnginePoint t10 = Triangulate(a[1], b[0]);
      const double margin =
          std::fabs((t00.Mismatch + t11.Mismatch) - (t01.Mismatch + t10.Mismatch));
      scan.pairing_margin = std::isfinite(margin) ? margin : 0.0;
    }
    scan.reports_before = reports_at_scan_;
    out_.scans.push_back(scan);
  }

 private:
  // Mirrors the intake's pairing of half-frames, to know when a scan runs and
  // which frames it drops.
  void TakeFrame(const std::uint8_t* bytes, std::size_t n) {
    ++out_.link.frames;
    std::copy_n(bytes, std::min(n, buffer_.size()), buffer_.begin());
    if (buffer_[0] == kReinitFrameMarker) ++out_.link.reidentifications;
    const std::uint8_t half = buffer_[kFrameHalfOffset];
    if (buffer_[kFrameTypeOffset] != kLineFrameType || half > 1 || (half == 1 && !pending_)) {
      ++out_.link.dropped_frames;
      return;
    }
    if (half == 0) {
      if (pending_) ++out_.link.dropped_frames;  // a first half without its partner
      pending_ = true;
      return;
    }
    pending_ = false;
    reports_at_scan_ = out_.reports.size();
  }

  tools::TraceDeviceIo inner_;
  ProbeResult& out_;
  FrameBuffer buffer_{};
  bool pending_ = false;
  std::size_t reports_at_scan_ = 0;
};

bool LensValid(const ParamBlock& block) {
  // Validity does not depend on the camera; the same block twice answers it.
  return LensModelsFromBlocks(block, block).Valid;
}

}  // namespace

ProbeResult ProbeTrace(const trace::Trace& trace) {
  ProbeResult out;
  ProbeIo io(trace, out);
  DiagnosticSink quiet(nullptr);
  DaemonLoop loop(io, quiet,
                  LoopHooks{[](unsigned int) {}, [&io] { return !io.exhausted(); },
                            [&io](const FrameStages& stages) { io.Scanned(stages); }});
  loop.Run();

  const DeviceContext& ctx = loop.context();
  IdentityProbe& id = out.identity;
  id.product = ctx.ProductID;
  id.series = device_info::ProductSeries(ctx.DeviceInfo);
  id.size_text = device_info::SizeText(ctx.DeviceInfo);
  id.geometry_valid = ScaleFromGeometry(ctx.Geometry, 0.0f).Valid;
  id.lens_a_valid = LensValid(ctx.LensA);
  id.lens_b_valid = LensValid(ctx.LensB);

  CalibrationProbe& calibration = out.calibration;
  calibration.calibrated = IsCalibrated(device_config::CalibState(ctx.DeviceConfig));
  for (int i = 0; i < calib::kCoefficientCount; ++i) {
    calibration.x[i] = calib::Coefficient(ctx.CalibX, i);
    calibration.y[i] = calib::Coefficient(ctx.CalibY, i);
  }
  calibration.device_width = geometry::DeviceWidth(ctx.Geometry);
  calibration.device_height = geometry::DeviceHeight(ctx.Geometry);

  out.lenses[kCameraA] = ctx.engine.state().LensModel[1];
  out.lenses[kCameraB] = ctx.engine.state().LensModel[0];
  out.scale = ctx.engine.state().Scale;
  return out;
}

double SampleAngle(const LensModel& lens, double sample) {
  return PixelToAngle(lens, static_cast<float>(sample));
}

}  // namespace lumaro::doctor
