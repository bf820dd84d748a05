// Speed of the daemon's whole frame path (intake, engine, filters, report
// assembly; the write itself dropped), in scans per second, over rendered
// scenes: an idle frame, one finger and two fingers; and the daemon's
// device loop over two fingers while two readers take its monitor stream.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver-interface/requests.h"
#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tools/allocation_count.h"
#include "tools/frame_path.h"
#include "tools/trace_device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/monitor/daemon_monitor.h"
#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/monitored_io.h"
#include "touch-daemon/monitor/stream_server.h"
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

lumaro::sim::Scene TwoFingers() {
  lumaro::sim::Scene scene = SceneFile("two-crossing");
  scene.fingers[0].keys.front().scan = 0;
  scene.fingers[1].keys.front().scan = 0;
  scene.fingers[1].keys.back().scan = scene.fingers[0].keys.back().scan;
  scene.scans = scene.fingers[0].keys.back().scan + 1;
  return scene;
}

void FramePathTwoFingers(benchmark::State& state) {
  RunScans(state, TwoFingers());
}

// A controller that sends the scene's frames round and round, identified by
// the scene's trace; reports are dropped.
class LoopingController final : public lumaro::DeviceIo {
 public:
  explicit LoopingController(const lumaro::trace::Trace& trace) : identity_(&trace, nullptr) {
    identity_.Open(lumaro::kTouchNodePath, O_RDWR);
    for (const lumaro::trace::Record& record : trace.records) {
      if (record.kind == lumaro::trace::RecordKind::kFrame) frames_.push_back(record.bytes);
    }
  }
  int Open(const char*, int) override { return 3; }
  int Close(int) override { return 0; }
  ssize_t Read(int, void* buffer, std::size_t count) override {
    const std::vector<std::uint8_t>& frame = frames_[next_++ % frames_.size()];
    const std::size_t n = std::min(count, frame.size());
    std::memcpy(buffer, frame.data(), n);
    return static_cast<ssize_t>(n);
  }
  ssize_t Write(int, const void*, std::size_t count) override {
    return static_cast<ssize_t>(count);
  }
  int Ioctl(int, unsigned long request, void* block) override {
    return identity_.Ioctl(3, request, block);
  }
  int Access(const char*, int) override { return 0; }

 private:
  lumaro::tools::TraceDeviceIo identity_;
  std::vector<std::vector<std::uint8_t>> frames_;
  std::size_t next_ = 0;
};

// A reader of the monitor stream that takes everything until the end.
std::thread Reader(const std::string& path, long* bytes) {
  return std::thread([path, bytes] {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        send(fd, "live\n", 5, MSG_NOSIGNAL) != 5) {
      std::fprintf(stderr, "no monitor stream\n");
      std::abort();
    }
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) *bytes += n;
    close(fd);
  });
}

// The daemon's device loop over two fingers, publishing into the monitor's
// history while two readers take the stream live (or, for comparison, the
// same loop straight on the controller).
void DeviceLoopTwoFingers(benchmark::State& state, bool monitored) {
  const lumaro::trace::Trace trace = TraceOf(TwoFingers());
  LoopingController controller(trace);
  lumaro::monitor::HistoryRing ring(lumaro::monitor::kHistoryBytes);
  lumaro::monitor::MonitoredIo io(controller, ring);

  char dir[] = "/tmp/lumaro-bench.XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  const std::string path = std::string(dir) + "/monitor";
  std::string error;
  lumaro::monitor::ServerOptions options;
  options.listen_fd = lumaro::monitor::BindListenSocket(path, static_cast<gid_t>(-1), &error);
  // A reader cut off would say so here: both stay attached to the end.
  options.log = stderr;
  // The readers are not what is measured: no one is cut off for lagging.
  options.max_lag_ns = 3600 * lumaro::monitor::kNsPerSecond;
  long received[2] = {0, 0};
  std::thread readers[2];
  {
    lumaro::monitor::StreamServer server(ring, options);
    server.Start();
    if (monitored) {
      readers[0] = Reader(path, &received[0]);
      readers[1] = Reader(path, &received[1]);
    }
    usleep(200000);  // both have sent their request and joined

    lumaro::DiagnosticSink quiet(nullptr);
    long reads = 0;
    lumaro::DeviceIo& device = monitored ? static_cast<lumaro::DeviceIo&>(io) : controller;
    lumaro::DaemonLoop loop(device, quiet,
                            {
                                .sleep = [](unsigned int) {},
                                .keep_running =
                                    [&] {
                                      // Counted from the first read on,
                                      // after the open and identification.
                                      if (++reads == 2) lumaro::tools::StartCountingAllocations();
                                      return state.KeepRunning();
                                    },
                            });
    loop.Run();
    lumaro::tools::StopCountingAllocations();
    // Two reads are one scan; the first call opens and identifies.
    state.SetItemsProcessed(state.iterations() / 2);
    state.counters["allocations_per_scan"] =
        static_cast<double>(lumaro::tools::AllocationsCounted()) /
        static_cast<double>(std::max<long>(1, reads / 2));
    usleep(100000);  // the readers catch up before the server hangs up
  }
  if (monitored) {
    readers[0].join();
    readers[1].join();
    // What the slower reader took before the end, or before it fell behind.
    state.counters["reader_MB"] = static_cast<double>(std::min(received[0], received[1])) / 1e6;
  }
  unlink(path.c_str());
  rmdir(dir);
}

BENCHMARK(FramePathIdle)->Name("FramePath/idle");
BENCHMARK(FramePathOneFinger)->Name("FramePath/one_finger");
BENCHMARK(FramePathTwoFingers)->Name("FramePath/two_fingers");
BENCHMARK_CAPTURE(DeviceLoopTwoFingers, alone, false)->Name("DeviceLoop/two_fingers");
BENCHMARK_CAPTURE(DeviceLoopTwoFingers, two_readers, true)
    ->Name("FramePath/two_fingers_two_readers");

}  // namespace

BENCHMARK_MAIN();
