#include "tools/live_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/monitored_io.h"
#include "touch-daemon/monitor/stream_server.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

constexpr int kIdleMs = 200;
// Enough for an identification, one frame and its reports between drains.
constexpr std::size_t kNodeRingBytes = 256 * 1024;

LiveResult ReadStream(trace::MonitorClient& client, const LiveRequest& request,
                      const std::atomic<bool>& stop, const LiveHooks& hooks) {
  LiveResult result;
  result.source = LiveSource::kStream;
  const std::string line_text =
      request.last_seconds > 0 ? "last " + std::to_string(request.last_seconds) : "live";
  if (!client.Send(line_text, &result.error)) return result;
  std::string line;
  while (!stop) {
    switch (client.NextLine(&line, kIdleMs, &result.error)) {
      case trace::MonitorClient::LineResult::kLine:
        if (!hooks.line(line)) {
          result.ok = true;
          return result;
        }
        break;
      case trace::MonitorClient::LineResult::kIdle:
        if (!hooks.keep_going()) {
          result.ok = true;
          return result;
        }
        break;
      case trace::MonitorClient::LineResult::kEnd:
        result.ok = true;
        result.stream_ended = true;
        return result;
      case trace::MonitorClient::LineResult::kError:
        return result;
    }
  }
  result.ok = true;
  return result;
}

// The node without the daemon's reports: they stay in the trace, the
// controller never sees them. A read that a signal interrupted reads as a
// time-out, so the loop asks keep_running next instead of ending a session.
class ReportsKeptIo final : public DeviceIo {
 public:
  explicit ReportsKeptIo(DeviceIo& node) : node_(node) {}
  int Open(const char* path, int flags) override { return node_.Open(path, flags); }
  int Close(int fd) override { return node_.Close(fd); }
  ssize_t Read(int fd, void* buffer, std::size_t count) override {
    const ssize_t n = node_.Read(fd, buffer, count);
    if (n < 0 && errno == EINTR) errno = ETIMEDOUT;
    return n;
  }
  ssize_t Write(int, const void*, std::size_t count) override {
    return static_cast<ssize_t>(count);
  }
  int Ioctl(int fd, unsigned long request, void* block) override {
    return node_.Ioctl(fd, request, block);
  }
  int Access(const char* path, int mode) override { return node_.Access(path, mode); }

 private:
  DeviceIo& node_;
};

LiveResult ReadNode(DeviceIo& node, const std::atomic<bool>& stop, const LiveHooks& hooks) {
  LiveResult result;
  result.source = LiveSource::kNode;
  // A tool started where no controller is says so at once; once a session
  // ran, it waits for the node as the daemon does.
  const int fd = node.Open(kTouchNodePath, O_RDWR);
  if (fd < 0) {
    result.error = std::string("cannot open ") + kTouchNodePath + ": " + ErrorName(errno);
    return result;
  }
  node.Close(fd);

  monitor::HistoryRing ring(kNodeRingBytes);
  ReportsKeptIo kept(node);
  monitor::MonitoredIo io(kept, ring);
  std::uint64_t cursor = 0;
  bool going = hooks.line(trace::HeaderLine());
  monitor::Entry entry;
  auto drain = [&] {
    std::uint64_t next = 0;
    while (going && ring.Read(cursor, &entry, &next) == monitor::HistoryRing::ReadResult::kOk) {
      cursor = next;
      going = hooks.line(monitor::EntryLine(entry));
    }
    return going;
  };
  // Whatever the loop published is handed on before it may stop.
  auto running = [&] { return drain() && !stop && hooks.keep_going(); };
  DiagnosticSink silent(nullptr);
  DaemonLoop loop(io, silent,
                  {
                      .sleep =
                          [&](unsigned int seconds) {
                            for (unsigned int i = 0; i < seconds * 10 && running(); ++i) {
                              ::usleep(100000);
                            }
                          },
                      .keep_running = running,
                  });
  loop.Run();
  result.ok = true;
  return result;
}

}  // namespace

LiveResult ReadLive(const LiveRequest& request, const std::atomic<bool>& stop,
                    const LiveHooks& hooks, DeviceIo* node) {
  trace::MonitorClient client;
  LiveResult result;
  switch (client.Connect(request.monitor_path, &result.error)) {
    case trace::MonitorClient::ConnectResult::kConnected:
      return ReadStream(client, request, stop, hooks);
    case trace::MonitorClient::ConnectResult::kRefused:
      return result;
    case trace::MonitorClient::ConnectResult::kNoDaemon:
      break;
  }
  if (request.last_seconds > 0) {
    result.error = "no daemon keeps a history: " + result.error;
    return result;
  }
  if (node != nullptr) return ReadNode(*node, stop, hooks);
  SystemDeviceIo system;
  return ReadNode(system, stop, hooks);
}

}  // namespace lumaro::tools
