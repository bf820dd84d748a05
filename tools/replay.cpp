#include "tools/replay.h"

#include "tools/trace_device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"

namespace lumaro::tools {

void Replay(const trace::Trace& trace, const ReplayOutput& out) {
  TraceDeviceIo io(&trace, out.reports, out.device, out.decoded);
  DiagnosticSink log(out.diagnostics);
  std::FILE* device = out.device;
  DaemonLoop loop(io, log,
                  LoopHooks{[device](unsigned int seconds) {
                              if (device != nullptr) std::fprintf(device, "sleep %u\n", seconds);
                            },
                            [&io] { return !io.exhausted(); }});
  loop.Run();
}

}  // namespace lumaro::tools
