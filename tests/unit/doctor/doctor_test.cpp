#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "simulator/scene/scene_file.h"
#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"
#include "tools/doctor/live_record.h"
#include "tools/doctor/waterfall_png.h"
#include "tools/plot/drawing.h"
#include "tools/trace_device_io.h"
#include "trace/trace.h"

namespace lumaro::doctor {
namespace {

trace::Trace Render(const std::string& scene_text) {
  sim::Scene scene;
  std::string error;
  trace::Trace trace;
  EXPECT_TRUE(sim::ParseScene(scene_text, &scene, &error)) << error;
  EXPECT_TRUE(trace::ParseTrace(sim::RenderTrace(scene), &trace, &error)) << error;
  return trace;
}

std::string SceneText(const std::string& name) {
  std::ifstream in(std::string(LUMARO_SCENES_DIR) + "/" + name + ".lscene");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const Check& Find(const Diagnosis& d, const std::string& id) {
  for (const Check& c : d.checks) {
    if (c.id == id) return c;
  }
  static const Check missing{"missing", Status::kFail, "", "", ""};
  return missing;
}

// Every check not named in `expect` must be ok.
struct Case {
  std::string name;  // a bundled scene, or an inline scene below
  std::map<std::string, Status> expect;
};

constexpr Status kWarn = Status::kWarn;
constexpr Status kFail = Status::kFail;
const std::map<std::string, Status> kUncalibrated{{"calibration", kWarn}};

std::map<std::string, Status> With(std::map<std::string, Status> extra) {
  extra.insert(kUncalibrated.begin(), kUncalibrated.end());
  return extra;
}

const std::map<std::string, std::string> kInlineScenes{
    // Camera A's window ends where a resting finger's shadow lies.
    {"misaligned-window",
     "lumaro-scene 1\nscans 200\nlens a 0 1.15 0 0 0 0 0 0 0 1 0 300\n"
     "finger 0.008\nkey 20 0.346 0.4\nkey 180 0.35 0.41\n"},
    {"mirrored-calibration",
     "lumaro-scene 1\nscans 60\ncalibration x 0 0 0 0 0 0 0 0 -1 32767\n"
     "calibration y 0 0 0 0 0 0 0 1 0 0\n"},
    {"invalid-lens", "lumaro-scene 1\nscans 60\nlens b 0 0.5 0 0 0 0 0 0 0 1 0 640\n"},
};

TEST(DoctorTest, EveryBundledSceneAndEachFault) {
  const std::vector<Case> cases{
      {"tap", kUncalibrated},
      {"slow-drag", kUncalibrated},
      {"fast-swipe", kUncalibrated},
      {"circle", kUncalibrated},
      {"two-apart", kUncalibrated},
      {"two-crossing", kUncalibrated},
      {"pinch", kUncalibrated},
      {"resting", kUncalibrated},
      {"calibrated", {}},
      {"dirty-lens", With({{"camera-a.obstruction", kFail}})},
      {"blocked-camera", With({{"camera-b.blocked", kFail}})},
      {"sunlight", With({{"camera-a.noise", kFail}})},
      {"flaky-cable", With({{"link", kWarn}})},
      {"misaligned-window", With({{"camera-a.window", kFail}})},
      {"mirrored-calibration", {{"calibration", kFail}}},
      {"invalid-lens", With({{"identity", kFail}})},
  };
  std::size_t bundled = 0;
  for (const Case& c : cases) {
    const auto inline_scene = kInlineScenes.find(c.name);
    bundled += inline_scene == kInlineScenes.end() ? 1 : 0;
    const Diagnosis d = Diagnose(ProbeTrace(
        Render(inline_scene != kInlineScenes.end() ? inline_scene->second : SceneText(c.name))));
    ASSERT_EQ(d.checks.size(), 12u) << c.name;
    Status worst = Status::kOk;
    for (const Check& check : d.checks) {
      const auto it = c.expect.find(check.id);
      const Status want = it == c.expect.end() ? Status::kOk : it->second;
      EXPECT_EQ(StatusName(check.status), std::string(StatusName(want)))
          << c.name << ": " << check.id << ": " << check.summary;
      worst = std::max(worst, want);
    }
    EXPECT_EQ(d.verdict, worst) << c.name;
    EXPECT_EQ(ExitStatus(d), static_cast<int>(worst)) << c.name;
  }
  // The table covers every bundled scene.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(LUMARO_SCENES_DIR)) {
    files += entry.path().extension() == ".lscene" ? 1 : 0;
  }
  EXPECT_EQ(bundled, files);
}

TEST(DoctorTest, FindingsNameTheDirtTheFlickerAndTheLink) {
  const Diagnosis dirty = Diagnose(ProbeTrace(Render(SceneText("dirty-lens"))));
  ASSERT_EQ(dirty.cameras[kCameraA].obstructions.size(), 1u);
  const Obstruction& o = dirty.cameras[kCameraA].obstructions[0];
  EXPECT_TRUE(o.border.valid);
  EXPECT_EQ(o.border.side, "bottom");
  EXPECT_NEAR(o.border.fraction, 0.58, 0.05);
  const std::string json = FormatJson(dirty, "a \"dirty\" trace");
  EXPECT_NE(json.find("\"trace\":\"a \\\"dirty\\\" trace\",\"scans\":600,"), std::string::npos);
  EXPECT_NE(json.find("\"verdict\":\"fail\""), std::string::npos);
  // The line of sight to clean, as the technician reads it.
  EXPECT_NE(json.find("\"angle_deg\":37.59,\"border\":{\"x\":18917,\"y\":32767,\"side\":"
                      "\"bottom\",\"fraction\":0.577}"),
            std::string::npos);
  EXPECT_NE(FormatText(dirty).find("angle 37.6 degrees, reaching the border at (18917, 32767), "
                                   "bottom side, 0.58 from the left"),
            std::string::npos);

  // Without a scale on either axis no line of sight reaches a border.
  ProbeResult probe = ProbeTrace(Render(SceneText("dirty-lens")));
  ASSERT_TRUE(BorderOf(probe, kCameraA, 568).valid);
  for (float* scale : {&probe.scale.XScale, &probe.scale.YScale}) {
    const float kept = std::exchange(*scale, 0.0f);
    EXPECT_FALSE(BorderOf(probe, kCameraA, 568).valid);
    *scale = kept;
  }
  // The fraction is the border point's place along its side, in report
  // units; with an offset the touch area does not start at the cameras.
  probe.scale.YOffset = -2000;
  int sides = 0;
  for (int sample = 0; sample < kSamples; sample += 8) {
    const BorderPoint b = BorderOf(probe, kCameraA, sample);
    if (!b.valid || b.x <= 0 || b.x >= 32767 || b.y <= 0 || b.y >= 32767) continue;
    sides += b.side != "bottom";
    EXPECT_NEAR(b.fraction, (b.side == "bottom" ? b.x : b.y) / 32767, 1e-6) << b.side << sample;
  }
  EXPECT_GT(sides, 0);

  const Diagnosis sunny = Diagnose(ProbeTrace(Render(SceneText("sunlight"))));
  const std::string noise = FormatJson(sunny, "t");
  const std::size_t at = noise.find("\"per_100_scans\":");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(noise.substr(at + 16)), 25, 7);  // the scene's rate

  const ProbeResult flaky = ProbeTrace(Render(SceneText("flaky-cable")));
  EXPECT_EQ(flaky.link.sessions, 5);
  EXPECT_EQ(flaky.link.read_errors, (std::map<int, int>{{5, 1}, {71, 1}}));
  EXPECT_EQ(flaky.link.timeouts, 1);
  EXPECT_EQ(flaky.link.empty_reads, 1);
  EXPECT_EQ(flaky.link.unplugs, 1);
  EXPECT_EQ(flaky.link.dropped_frames, 1);
}

// `scans` clear scans with both lens windows over every sample.
ProbeResult ClearScans(std::size_t scans) {
  ProbeResult probe;
  for (LensModel& lens : probe.lenses) lens = LensModel{0, kSamples, {}};
  probe.scans.resize(scans);
  return probe;
}

Status StatusOf(const ProbeResult& probe, const std::string& id) {
  return Find(Diagnose(probe), id).status;
}

TEST(DoctorTest, CameraThresholdsSitWhereTheManualSaysThey) {
  // Blocked: warned from 3 blocked scans, failed above half of them.
  for (const auto& [blocked, want] : std::vector<std::pair<int, Status>>{
           {2, Status::kOk}, {3, kWarn}, {50, kWarn}, {51, kFail}}) {
    ProbeResult probe = ClearScans(100);
    for (int s = 0; s < blocked; ++s) probe.scans[s].lines[kCameraA].set();
    EXPECT_EQ(StatusOf(probe, "camera-a.blocked"), want) << blocked << " blocked scans";
    EXPECT_EQ(StatusOf(probe, "camera-b.blocked"), Status::kOk);
  }
  // Noise: one-scan specks per 100 examined scans, warned above 2, failed above 10.
  for (const auto& [specks, want] : std::vector<std::pair<int, Status>>{
           {2, Status::kOk}, {3, kWarn}, {10, kWarn}, {11, kFail}}) {
    ProbeResult probe = ClearScans(102);  // scans 1 to 100 are examined
    for (int i = 0; i < specks; ++i) probe.scans[1 + 2 * i].lines[kCameraB].set(500);
    EXPECT_EQ(StatusOf(probe, "camera-b.noise"), want) << specks << " specks";
    EXPECT_EQ(StatusOf(probe, "camera-a.noise"), Status::kOk);
  }
  {
    // One examined scan with a speck is 100 per 100 scans.
    ProbeResult probe = ClearScans(3);
    probe.scans[1].lines[kCameraB].set(500);
    EXPECT_EQ(StatusOf(probe, "camera-b.noise"), kFail);
  }
  {
    // A scan beside a blocked one is not examined: 2 specks in 99 scans warn.
    ProbeResult probe = ClearScans(102);
    probe.scans[0].lines[kCameraB].set();
    for (const int s : {3, 5}) probe.scans[s].lines[kCameraB].set(500);
    EXPECT_EQ(StatusOf(probe, "camera-b.noise"), kWarn);
  }
  // Obstruction: shadowed in at least 95% of the scans.
  for (const auto& [shadowed, want] :
       std::vector<std::pair<int, Status>>{{94, Status::kOk}, {95, kFail}}) {
    ProbeResult probe = ClearScans(100);
    for (int s = 0; s < shadowed; ++s) {
      for (int i = 600; i < 610; ++i) probe.scans[s].lines[kCameraA].set(i);
    }
    const Diagnosis d = Diagnose(probe);
    EXPECT_EQ(Find(d, "camera-a.obstruction").status, want) << shadowed << " scans";
    if (want == kFail) {
      EXPECT_NE(FormatJson(d, "t").find("\"samples\":[600,610]"), std::string::npos);
    }
  }
  // Window: of 40 scans with a kept shadow, warned from 10 and 20% at the
  // edge, failed at 50%.
  for (const auto& [at_edge, want] : std::vector<std::pair<int, Status>>{
           {9, Status::kOk}, {10, kWarn}, {19, kWarn}, {20, kFail}}) {
    ProbeResult probe = ClearScans(40);
    for (int s = 0; s < 40; ++s) {
      ScanProbe& scan = probe.scans[s];
      scan.shadow_count[kCameraA] = 1;
      scan.shadows[kCameraA][0] = s < at_edge ? ProbeShadow{0, 20} : ProbeShadow{600, 620};
    }
    EXPECT_EQ(StatusOf(probe, "camera-a.window"), want) << at_edge << " at the edge";
  }
}

// x' = u + 1e-9 u^2 v, y' = v: its Jacobian, 1 + 2e-9 uv, is positive over
// the whole screen, though its uv term alone reaches past 2.
TEST(DoctorTest, CubicCalibrationThatKeepsTheOrientationPasses) {
  ProbeResult probe = ClearScans(10);
  probe.calibration = {true, {0, 0, 1e-9f, 0, 0, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0}};
  EXPECT_EQ(StatusOf(probe, "calibration"), Status::kOk);
}

TEST(DoctorTest, LinkAndIdentityNameTheirCauses) {
  const ProbeResult flaky_probe = ProbeTrace(Render(SceneText("flaky-cable")));
  const Diagnosis flaky = Diagnose(flaky_probe);
  EXPECT_NE(FormatPrometheus(flaky, flaky_probe.link)
                .find("lumaro_link_read_errors{error=\"EPROTO\"} 1\n"),
            std::string::npos);
  EXPECT_NE(Find(flaky, "link")
                .summary.find(
                    "read errors 2 (1 x EIO (Input/output error), 1 x EPROTO (Protocol error))"),
            std::string::npos)
      << Find(flaky, "link").summary;
  EXPECT_NE(Find(flaky, "touches").summary.find("1 touch in 529 reports"), std::string::npos)
      << Find(flaky, "touches").summary;
  const std::string pinch =
      Find(Diagnose(ProbeTrace(Render(SceneText("pinch")))), "touches").summary;
  EXPECT_NE(pinch.find("2 touches in 208 reports; 196 two-finger scans,"), std::string::npos)
      << pinch;

  // The lens request left unanswered is the cause, not the block.
  trace::Trace tap = Render(SceneText("tap"));
  tap.records.insert(tap.records.begin(), trace::Record{trace::RecordKind::kFail, 0, 242, 0, {}});
  const Check unanswered = Find(Diagnose(ProbeTrace(tap)), "identity");
  EXPECT_EQ(unanswered.status, kFail);
  EXPECT_NE(unanswered.summary.find("did not answer the lens request of camera A (request 242 "
                                    "GET_LENS_A)"),
            std::string::npos)
      << unanswered.summary;
  EXPECT_EQ(unanswered.action.find("rewritten"), std::string::npos) << unanswered.action;
  const Check invalid =
      Find(Diagnose(ProbeTrace(Render(kInlineScenes.at("invalid-lens")))), "identity");
  EXPECT_NE(invalid.summary.find("lens block of camera B (request 241 GET_LENS_B) is invalid"),
            std::string::npos)
      << invalid.summary;
}

// The doctor's picture of a trace, row by row: which pixels are red, and
// which are left white.
struct PictureMask {
  std::vector<std::vector<bool>> red, white;
};
PictureMask Picture(const trace::Trace& trace) {
  const ProbeResult probe = ProbeTrace(trace);
  std::string png = "held before", error;  // replaced by the picture
  EXPECT_TRUE(DrawWaterfallPng("t", trace, probe, Diagnose(probe), &png, &error)) << error;
  std::pair<const std::string*, std::size_t> source{&png, 0};
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* in = static_cast<std::pair<const std::string*, std::size_t>*>(closure);
        if (in->second + length > in->first->size()) return CAIRO_STATUS_READ_ERROR;
        std::copy_n(in->first->data() + in->second, length, data);
        in->second += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &source);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    ADD_FAILURE() << "the picture is not a PNG";
    const std::vector<std::vector<bool>> none(2000, std::vector<bool>(2000));
    return {none, none};
  }
  PictureMask mask;
  for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image));
    mask.red.emplace_back();
    mask.white.emplace_back();
    for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
      mask.red[y].push_back((row[x] >> 16 & 0xff) > 150 && (row[x] >> 8 & 0xff) < 100 &&
                            (row[x] & 0xff) < 100);
      mask.white[y].push_back((row[x] & 0xffffff) == 0xffffff);
    }
  }
  cairo_surface_destroy(image);
  return mask;
}

TEST(DoctorTest, ThePictureMarksTheDirtAndTheLinkEvents) {
  // The dirt on samples 560 to 575 of camera A is framed 2 pixels wider on
  // each side, at two samples a pixel, in camera A's panel (x 34 to 674).
  const PictureMask dirty = Picture(Render(SceneText("dirty-lens")));
  const std::vector<bool>& row = dirty.red[300];
  std::vector<int> dirt;
  for (int x = 34; x < 674; ++x) {
    if (row[x]) dirt.push_back(x);
  }
  ASSERT_FALSE(dirt.empty());
  EXPECT_EQ(dirt.front(), 34 + 560 / 2 - 2 - 1);
  EXPECT_EQ(dirt.back(), 34 + 576 / 2 + 2);
  // The reported paths' panel (x 1372 to 1772, from y 86) is framed.
  EXPECT_FALSE(dirty.white.at(86).at(1572) && dirty.white.at(85).at(1572));
  EXPECT_FALSE(dirty.white.at(286).at(1372) && dirty.white.at(286).at(1371));
  EXPECT_TRUE(dirty.white.at(60).at(1572));
  // Read errors are ticked left of camera A's panel.
  int ticked_rows = 0;
  for (const std::vector<bool>& red : Picture(Render(SceneText("flaky-cable"))).red) {
    ticked_rows += std::any_of(red.begin() + 14, red.begin() + 23, [](bool r) { return r; });
  }
  EXPECT_GE(ticked_rows, 2);
  tools::ReleaseDrawingCaches();  // so that the leak checker sees a clean exit
}

TEST(DoctorTest, NoScanIsAFailure) {
  trace::Trace trace;
  std::string error;
  ASSERT_TRUE(trace::ParseTrace("lumaro-trace 1\nproduct 0x0c20\n", &trace, &error));
  const Diagnosis d = Diagnose(ProbeTrace(trace));
  EXPECT_EQ(Find(d, "link").status, Status::kFail);
  EXPECT_EQ(ExitStatus(d), 2);
}

TEST(DoctorTest, LiveRecordingStopsInTime) {
  const trace::Trace played = Render(SceneText("tap"));
  tools::TraceDeviceIo io(&played, nullptr);
  LiveOptions options;
  options.seconds = 2;
  options.monitor_path = "/nonexistent/monitor";
  options.node = &io;
  auto t = std::chrono::steady_clock::time_point{};
  // Every look at the clock takes 1/100 s: 200 of them in the 2 seconds.
  options.now = [&t] { return t += std::chrono::milliseconds(10); };
  std::string text, error;
  const std::atomic<bool> stop{false};
  ASSERT_TRUE(RecordFrom(options, stop, &text, &error)) << error;
  trace::Trace recorded;
  ASSERT_TRUE(trace::ParseTrace(text, &recorded, &error)) << error;
  const std::size_t scans = Diagnose(ProbeTrace(recorded)).scans;
  EXPECT_GT(scans, 20u);
  EXPECT_LT(scans, Diagnose(ProbeTrace(played)).scans);
}

}  // namespace
}  // namespace lumaro::doctor
