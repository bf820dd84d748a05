// lumaro-doctor --live and --last: the trace to diagnose, from the daemon's
// monitor stream while lumarod runs, from the node when it does not.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "driver-interface/device_io.h"
#include "trace/monitor_client.h"

namespace lumaro::doctor {

struct LiveOptions {
  long seconds = 0;       // record this long from now on, or
  long last_seconds = 0;  // take the daemon's last SECONDS of history
  std::string monitor_path = trace::kDefaultMonitorPath;
  std::FILE* progress = nullptr;  // the progress line; none when null
  std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
  bool terminal = false;     // progress rewritten in place; else a line every 10 s
  DeviceIo* node = nullptr;  // the node when no daemon runs; null: the system's
};

// Records into *trace_text until the time is up (or the history is read),
// `stop` is raised, or the daemon ends its stream.
bool RecordFrom(const LiveOptions& options, const std::atomic<bool>& stop, std::string* trace_text,
                std::string* error);

// RecordFrom, ended early by SIGINT or SIGTERM, with the progress on
// standard error.
bool RecordLive(LiveOptions options, std::string* trace_text, std::string* error);

}  // namespace lumaro::doctor
