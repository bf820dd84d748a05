// monitor-probe: a reader of the daemon's monitor stream for the end-to-end
// tests.
//   monitor-probe SOCKET REQUEST        sends REQUEST and a newline, then
//                                       copies the stream to standard output
//                                       until the daemon closes it
//   monitor-probe SOCKET --silent       sends nothing, copies what comes
//   monitor-probe SOCKET --cycles N     N times: connect, `live`, read the
//                                       first line, hang up
// Exit status: 0 when done, 3 when the socket refuses the connection, 1
// otherwise.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Connect(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "monitor-probe: connect: %s\n", std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

// Blocking, and with no signal handler to cut it short, send takes the whole
// text or fails.
bool Send(int fd, const std::string& text) {
  if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) >= 0) return true;
  return errno == EPIPE || errno == ECONNRESET;  // the daemon hung up first
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: monitor-probe SOCKET REQUEST|--silent|--cycles N\n");
    return 2;
  }
  const char* path = argv[1];
  const std::string request = argv[2];
  if (request == "--cycles" && argc == 4) {
    const int cycles = std::atoi(argv[3]);
    for (int i = 0; i < cycles; ++i) {
      const int fd = Connect(path);
      if (fd < 0) return 3;
      char line[16] = {};
      if (!Send(fd, "live\n") || recv(fd, line, sizeof line - 1, MSG_WAITALL) <= 0 ||
          std::strncmp(line, "lumaro-trace 1\n", 15) != 0) {
        std::fprintf(stderr, "monitor-probe: cycle %d got no header\n", i);
        return 1;
      }
      close(fd);
    }
    return 0;
  }
  const int fd = Connect(path);
  if (fd < 0) return 3;
  if (request != "--silent" && !Send(fd, request + "\n")) return 1;
  char buffer[65536];
  while (true) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == ECONNRESET) break;
      std::fprintf(stderr, "monitor-probe: recv: %s\n", std::strerror(errno));
      return 1;
    }
    if (std::fwrite(buffer, 1, static_cast<std::size_t>(n), stdout) != static_cast<std::size_t>(n))
      return 1;
    std::fflush(stdout);
  }
  return 0;
}
