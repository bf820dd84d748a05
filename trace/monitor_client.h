// A reader of the daemon's monitor stream: connects to its socket, sends
// the one request line and hands out the trace lines that come back. It is
// also the test of whether a daemon runs: a socket that nothing listens on
// (or none at all) means no daemon, so the caller may read the node itself.
#pragma once

#include <string>
#include <string_view>

namespace lumaro::trace {

inline constexpr char kDefaultMonitorPath[] = "/run/lumaro/monitor";
// The comment line the daemon puts where a reader's history ends and the
// live entries begin (right after the identity for a `live` request).
inline constexpr char kLiveMarkerLine[] = "# live from here";

class MonitorClient {
 public:
  MonitorClient() = default;
  ~MonitorClient();
  MonitorClient(const MonitorClient&) = delete;
  MonitorClient& operator=(const MonitorClient&) = delete;

  enum class ConnectResult {
    kConnected,
    kNoDaemon,  // no socket at path, or nothing listens on it
    kRefused,   // a daemon is there but this reader may not connect
  };
  // *error explains kNoDaemon and kRefused.
  ConnectResult Connect(const std::string& path, std::string* error);

  // Sends `request` ("live" or "last SECONDS") and a newline.
  bool Send(std::string_view request, std::string* error);

  enum class LineResult {
    kLine,
    kIdle,   // nothing within the time-out
    kEnd,    // the daemon closed the stream
    kError,  // *error says why; a line "error TEXT" from the daemon is one
  };
  // The next line, without its newline; waits up to timeout_ms (-1: for ever).
  LineResult NextLine(std::string* line, int timeout_ms, std::string* error);

 private:
  int fd_ = -1;
  std::string path_;
  std::string buffer_;
  std::size_t start_ = 0;  // of the unread part of buffer_
  bool first_line_ = true;
};

}  // namespace lumaro::trace
