// Speed of the daemon's whole frame path (intake, engine, filters, report
// assembly; the write itself dropped), in scans per second, over rendered
// scenes: an idle frame, one finger and two fingers.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tools/frame_path.h"
#include "trace/trace.h"

namespace {

lumaro::trace::Trace TraceOf(const lumaro::sim::Scene& scene) {
  lumaro::trace::Trace trace;
  std::string error;
  if (!lumaro::trace::ParseTrace(lumaro::sim::RenderTrace(scene), &trace, &error)) {
    std::fprintf(stderr, "scene does not render: %s\n", error.c_str());
    std::abort();
  }
  return trace;
}

lumaro::sim::Scene SceneFile(const char* name) {
  lumaro::sim::Scene scene;
  std::string error;
  const std::string path = std::string(LUMARO_SCENES_DIR) + "/" + name + ".lscene";
  if (!lumaro::sim::LoadSceneFile(path, &scene, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return scene;
}

void RunScans(benchmark::State& state, const lumaro::sim::Scene& scene) {
  const lumaro::trace::Trace trace = TraceOf(scene);
  lumaro::tools::FramePath path(trace);
  std::size_t frame = 0;
  for (auto _ : state) {
    path.Feed(frame++);  // a scan is two half-frames
    path.Feed(frame++);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void FramePathIdle(benchmark::State& state) {
  lumaro::sim::Scene idle;
  idle.scans = 100;
  RunScans(state, idle);
}

void FramePathOneFinger(benchmark::State& state) {
  // The circle without its idle lead-in and lead-out.
  lumaro::sim::Scene scene = SceneFile("circle");
  for (lumaro::sim::Keyframe& key : scene.fingers[0].keys) key.scan -= 20;
  scene.scans = 361;
  RunScans(state, scene);
}

void FramePathTwoFingers(benchmark::State& state) {
  lumaro::sim::Scene scene = SceneFile("two-crossing");
  scene.fingers[0].keys.front().scan = 0;
  scene.fingers[1].keys.front().scan = 0;
  scene.fingers[1].keys.back().scan = scene.fingers[0].keys.back().scan;
  scene.scans = scene.fingers[0].keys.back().scan + 1;
  RunScans(state, scene);
}

BENCHMARK(FramePathIdle)->Name("FramePath/idle");
BENCHMARK(FramePathOneFinger)->Name("FramePath/one_finger");
BENCHMARK(FramePathTwoFingers)->Name("FramePath/two_fingers");

}  // namespace

BENCHMARK_MAIN();
