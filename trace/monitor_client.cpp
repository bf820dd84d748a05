#include "trace/monitor_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver-interface/protocol.h"

namespace lumaro::trace {
MonitorClient::~MonitorClient() {
  if (fd_ >= 0) ::close(fd_);
}

MonitorClient::ConnectResult MonitorClient::Connect(const std::string& path, std::string* error) {
  path_ = path;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "the monitor socket's path is too long: " + path;
    return ConnectResult::kRefused;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    *error = "cannot make a socket: " + ErrorName(errno);
    return ConnectResult::kRefused;
  }
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return ConnectResult::kConnected;
  }
  const int failure = errno;
  ::close(fd_);
  fd_ = -1;
  *error = "the monitor stream at " + path + ": " + ErrorName(failure);
  // A missing socket, or one a dead daemon left: nobody serves the node.
  if (failure == ENOENT || failure == ECONNREFUSED || failure == ENOTDIR) {
    return ConnectResult::kNoDaemon;
  }
  if (failure == EACCES || failure == EPERM) {
    *error += "; only root and the group lumaro may read it";
  }
  return ConnectResult::kRefused;
}

bool MonitorClient::Send(std::string_view request, std::string* error) {
  const std::string line = std::string(request) + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = "the monitor stream at " + path_ + ": " + ErrorName(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

MonitorClient::LineResult MonitorClient::NextLine(std::string* line, int timeout_ms,
                                                  std::string* error) {
  while (true) {
    const std::size_t newline = buffer_.find('\n', start_);
    if (newline != std::string::npos) {
      line->assign(buffer_, start_, newline - start_);
      start_ = newline + 1;
      // The daemon answers a request it does not serve with one error line.
      if (first_line_ && line->rfind("error ", 0) == 0) {
        *error = "the daemon refused the stream: " + line->substr(6);
        return LineResult::kError;
      }
      first_line_ = false;
      return LineResult::kLine;
    }
    buffer_.erase(0, start_);
    start_ = 0;
    pollfd ready{fd_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, timeout_ms);
    if (polled < 0) {
      if (errno == EINTR) return LineResult::kIdle;  // the caller looks at its flags
      *error = "poll: " + ErrorName(errno);
      return LineResult::kError;
    }
    if (polled == 0) return LineResult::kIdle;
    char chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return LineResult::kEnd;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) return LineResult::kIdle;
      *error = "the monitor stream at " + path_ + ": " + ErrorName(errno);
      return LineResult::kError;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace lumaro::trace
