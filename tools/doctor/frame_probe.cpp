#include "tools/doctor/frame_probe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver-interface/protocol.h"
#include "tools/trace_device_io.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/engine/setup.h"
#include "touch-daemon/engine/shadows.h"
#include "touch-daemon/engine/triangulation.h"

namespace lumaro::doctor {
namespace {

LineBits Pack(const LineImage& line) {
  LineBits bits;
  for (int i = 0; i < kSamples; ++i) bits[i] = line[i] != 0;
  return bits;
}

// Plays the trace to the daemon's loop and watches every call and every
// frame's result.
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
      ++out_.link.frames;
      if (static_cast<const std::uint8_t*>(buffer)[0] == kReinitFrameMarker) {
        ++out_.link.reidentifications;
      }
    } else if (n == 0) {
      ++out_.link.empty_reads;
      ++out_.link.sessions_ended_by_error;
    } else if (inner_.exhausted()) {
      // The end of the trace, not a device event.
    } else if (ClassifyRead(n, error) == ReadOutcome::kTimedOut) {
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

  // Takes the result of the frame that just went through the frame path,
  // after its reports were written. The engine's stages index the cameras as
  // kCameraA, kCameraB do.
  void Taken(const FrameResult& result) {
    if (result.drop != FrameDrop::kNone) ++out_.link.dropped_frames;
    if (!result.has_stages) return;
    const ScanStages& engine = result.stages.engine;
    ScanProbe scan;
    for (int c = 0; c < 2; ++c) {
      scan.lines[c] = Pack(ExpandLine(engine.Lines[c]));
      scan.shadow_count[c] = std::clamp(engine.Shadows[c].Count, 0, kMaxShadows);
      for (int i = 0; i < scan.shadow_count[c]; ++i) {
        scan.shadows[c][i] = {engine.Shadows[c].Spans[i].Start, engine.Shadows[c].Spans[i].End};
      }
    }
    scan.touches = engine.Located;
    scan.pairing_margin = engine.PairingMargin;
    scan.reports_before = out_.reports.size() - result.Reports().size();
    out_.scans.push_back(scan);
  }

 private:
  tools::TraceDeviceIo inner_;
  ProbeResult& out_;
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
                  LoopHooks{.sleep = [](unsigned int) {},
                            .keep_running = [&io] { return !io.exhausted(); },
                            .on_frame = [&io](const FrameResult& result) { io.Taken(result); },
                            .with_stages = true});
  loop.Run();

  const ControllerIdentity& identity = loop.identity();
  IdentityProbe& id = out.identity;
  id.product = identity.ProductId();
  id.series = device_info::ProductSeries(identity.DeviceInfo());
  id.size_text = device_info::SizeText(identity.DeviceInfo());
  id.geometry_valid = ScaleFromGeometry(identity.Geometry(), 0.0f).Valid;
  id.lens_a_valid = LensValid(identity.LensA());
  id.lens_b_valid = LensValid(identity.LensB());

  CalibrationProbe& calibration = out.calibration;
  calibration.calibrated = IsCalibrated(device_config::CalibState(identity.DeviceConfig()));
  for (int i = 0; i < calib::kCoefficientCount; ++i) {
    calibration.x[i] = calib::Coefficient(identity.CalibX(), i);
    calibration.y[i] = calib::Coefficient(identity.CalibY(), i);
  }
  calibration.device_width = geometry::DeviceWidth(identity.Geometry());
  calibration.device_height = geometry::DeviceHeight(identity.Geometry());

  const EngineState& engine = loop.pipeline().engine_state();
  out.lenses[kCameraA] = engine.LensA;
  out.lenses[kCameraB] = engine.LensB;
  out.scale = engine.Scale;
  return out;
}

double SampleAngle(const LensModel& lens, double sample) {
  return PixelToAngle(lens, static_cast<float>(sample));
}

}  // namespace lumaro::doctor
