// The daemon's monitor stream, put together: the history ring that the
// device's answers are published into, the server that serves it on the
// monitor socket, and the service manager's readiness and status line.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "driver-interface/device_io.h"
#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/monitored_io.h"
#include "touch-daemon/monitor/stream_server.h"
#include "trace/monitor_client.h"

namespace lumaro::monitor {

inline constexpr const char* kDefaultMonitorPath = trace::kDefaultMonitorPath;
inline constexpr char kDefaultReadersGroup[] = "lumaro";
// 120 s of history at 240 half-frames and 120 reports a second holds frames
// of up to about 110 bytes (a scene's have 10 to 20: some 15 minutes). A
// larger ring costs the frame path cache misses.
inline constexpr std::size_t kHistoryBytes = 4 * 1024 * 1024;

struct MonitorSettings {
  std::string path = kDefaultMonitorPath;
  std::string group;  // empty: kDefaultReadersGroup when that group exists
};

class DaemonMonitor {
 public:
  explicit DaemonMonitor(DeviceIo& device);
  ~DaemonMonitor();
  DaemonMonitor(const DaemonMonitor&) = delete;
  DaemonMonitor& operator=(const DaemonMonitor&) = delete;

  // Serves the socket systemd passed, or binds settings.path. False only for
  // a group that was asked for and does not exist. A socket that cannot be
  // bound is logged, and the daemon runs on without readers. Tells the
  // service manager the daemon is ready.
  bool Start(const MonitorSettings& settings, std::FILE* log, std::string* error);

  // The device, as the daemon loop is to use it.
  DeviceIo& io() { return io_; }

 private:
  HistoryRing ring_;
  MonitoredIo io_;
  std::unique_ptr<StreamServer> server_;
};

}  // namespace lumaro::monitor
