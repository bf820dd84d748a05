// Where the field tools get the controller's traffic from while the touch
// runs: the daemon's monitor stream when a daemon serves one, and the node
// itself when none does, never the node beside a running daemon.
//
// Either way the tool receives the same trace lines: reading the node, the
// daemon's own loop runs here, through the monitor's publishing device, with
// its reports kept from the node. It rides through read errors, unplugs and
// reopens as the daemon does, and the trace records them.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "driver-interface/device_io.h"
#include "trace/monitor_client.h"

namespace lumaro::tools {

struct LiveRequest {
  std::string monitor_path = trace::kDefaultMonitorPath;
  // 0: from now on. Otherwise the daemon's last SECONDS of history, which
  // only a running daemon has.
  long last_seconds = 0;
};

struct LiveHooks {
  // Each trace line, without its newline; false ends the reading.
  std::function<bool(std::string_view line)> line;
  // Asked at least every 200 ms while the stream is quiet and before every
  // read of the node; false ends the reading.
  std::function<bool()> keep_going = [] { return true; };
};

enum class LiveSource { kStream, kNode };

struct LiveResult {
  bool ok = false;
  LiveSource source = LiveSource::kStream;
  bool stream_ended = false;  // the daemon closed the stream
  std::string error;
};

// Reads until a hook says stop, `stop` is raised, or the stream ends.
// Reading the node goes through `node` (the system's device by default).
LiveResult ReadLive(const LiveRequest& request, const std::atomic<bool>& stop,
                    const LiveHooks& hooks, DeviceIo* node = nullptr);

}  // namespace lumaro::tools
