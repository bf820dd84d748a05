// pty-node [--hold] NODE GROUP TRACE: a touch node for a daemon that runs
// sandboxed where no simulator can reach it. NODE becomes a link to the far
// end of a pseudo-terminal (group GROUP, mode 0660, as the udev rule makes
// it); this program writes the frames of TRACE to the near end, one per read
// of the daemon, and prints `report HEX` for each report written back. A
// terminal answers no controller request, so identification fails while
// frames still flow. Of the other records, `wait MS` pauses and `unplug` /
// `plug` remove the link (hanging the terminal up) and make it again. With
// --hold the trace starts on SIGUSR1. After the trace the node stays until
// SIGTERM or SIGINT. Exit status 0, or 1 with a message.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_go = 0;

// A report holds one record for each of the two contacts.
constexpr std::size_t kReportBytes = 2 * lumaro::kReportContactSize;
constexpr int kFrameReadSeconds = 60;
constexpr double kSettleSeconds = 0.05;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "pty-node: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class PtyNode {
 public:
  PtyNode(std::string path, gid_t group) : path_(std::move(path)), group_(group) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) Die("pseudo-terminal");
    const char* name = ptsname(master_);
    if (name == nullptr) Die("ptsname");
    slave_path_ = name;
  }

  // The far end becomes this program's controlling terminal, so that the
  // daemon never takes it as its own (nor gets its hang-up signal).
  void Plug() {
    slave_ = open(slave_path_.c_str(), O_RDWR | O_CLOEXEC);
    if (slave_ < 0) Die("open " + slave_path_);
    if (ioctl(slave_, TIOCSCTTY, 0) != 0) Die("TIOCSCTTY");
    termios raw{};
    if (tcgetattr(slave_, &raw) != 0) Die("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(slave_, TCSANOW, &raw) != 0) Die("tcsetattr");
    // A copy of the far end made with mknod answers EIO: NODE is a link.
    if (fchown(slave_, 0, group_) != 0 || fchmod(slave_, 0660) != 0) Die("chown " + slave_path_);
    if (symlink(slave_path_.c_str(), path_.c_str()) != 0) Die("symlink " + path_);
    std::printf("node %s -> %s\n", path_.c_str(), slave_path_.c_str());
    std::fflush(stdout);
  }

  // After the hang-up every descriptor of the far end reads end of file.
  void Unplug() {
    if (unlink(path_.c_str()) != 0 && errno != ENOENT) Die("unlink " + path_);
    if (slave_ >= 0) {
      if (ioctl(slave_, TIOCVHANGUP) != 0) Die("TIOCVHANGUP");
      close(slave_);
      slave_ = -1;
    }
  }

  // Returns once the daemon has read the frame: it has shown in the far
  // end's queue and left it, or the queue stayed empty for kSettleSeconds.
  void Feed(const std::vector<std::uint8_t>& frame) {
    std::size_t done = 0;
    while (done < frame.size()) {
      const ssize_t n = write(master_, frame.data() + done, frame.size() - done);
      if (n < 0 && errno != EINTR) Die("write");
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    const double written = Now();
    bool arrived = false;
    for (;;) {
      int pending = 0;
      if (ioctl(slave_, TIOCINQ, &pending) != 0) Die("TIOCINQ");
      if (pending > 0) {
        arrived = true;
      } else if (arrived || Now() - written > kSettleSeconds || g_stop != 0) {
        return;
      }
      if (Now() - written > kFrameReadSeconds) {
        errno = ETIMEDOUT;
        Die("the daemon read no frame for " + std::to_string(kFrameReadSeconds) + " s");
      }
      Drain(1);
    }
  }

  // Prints the reports written back, waiting at most `ms` for the first.
  void Drain(int ms) {
    pollfd pfd{master_, POLLIN, 0};
    while (poll(&pfd, 1, ms) > 0 && (pfd.revents & POLLIN) != 0) {
      std::uint8_t bytes[512];
      const ssize_t n = read(master_, bytes, sizeof bytes);
      if (n <= 0) return;  // nobody holds the far end at the moment
      pending_.insert(pending_.end(), bytes, bytes + n);
      std::size_t at = 0;
      for (; pending_.size() - at >= kReportBytes; at += kReportBytes) {
        std::printf("report %s\n",
                    lumaro::trace::ToHex(pending_.data() + at, kReportBytes).c_str());
      }
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
      std::fflush(stdout);
      ms = 0;
    }
  }

  // Pauses for `ms`, printing reports meanwhile.
  void Wait(int ms) {
    const double end = Now() + ms / 1000.0;
    for (double left = end - Now(); left > 0 && g_stop == 0; left = end - Now()) {
      Drain(static_cast<int>(left * 1000) + 1);
    }
  }

 private:
  std::string path_;
  gid_t group_;
  std::string slave_path_;
  int master_ = -1;
  int slave_ = -1;
  std::vector<std::uint8_t> pending_;
};

}  // namespace

int main(int argc, char** argv) {
  const bool hold = argc == 5 && std::strcmp(argv[1], "--hold") == 0;
  if (argc != 4 && !hold) {
    std::fprintf(stderr, "usage: pty-node [--hold] NODE GROUP TRACE\n");
    return 2;
  }
  argv += hold ? 1 : 0;
  const group* gr = getgrnam(argv[2]);
  if (gr == nullptr) {
    std::fprintf(stderr, "pty-node: no group %s\n", argv[2]);
    return 1;
  }
  lumaro::trace::Trace trace;
  std::string error;
  std::string text;
  if (!lumaro::cli::ReadInput(argv[3], &text, &error) ||
      !lumaro::trace::ParseTrace(text, &trace, &error)) {
    std::fprintf(stderr, "pty-node: %s\n", error.c_str());
    return 1;
  }
  // A session of its own, to hold the terminal, deaf to its hang-ups.
  setsid();
  signal(SIGHUP, SIG_IGN);
  signal(SIGTERM, [](int) { g_stop = 1; });
  signal(SIGINT, [](int) { g_stop = 1; });
  signal(SIGUSR1, [](int) { g_go = 1; });

  PtyNode node(argv[1], gr->gr_gid);
  node.Plug();
  bool plugged = true;
  while (hold && g_go == 0 && g_stop == 0) node.Wait(100);
  int frames = 0;
  using lumaro::trace::RecordKind;
  for (const lumaro::trace::Record& record : trace.records) {
    if (g_stop != 0) break;
    if (record.kind == RecordKind::kFrame && plugged) {
      node.Feed(record.bytes);
      ++frames;
    } else if (record.kind == RecordKind::kWait) {
      node.Wait(static_cast<int>(record.value));
    } else if (record.kind == RecordKind::kUnplug && plugged) {
      node.Unplug();
      plugged = false;
      std::printf("unplugged\n");
    } else if (record.kind == RecordKind::kPlug && !plugged) {
      node.Plug();
      plugged = true;
      std::printf("plugged\n");
    }
    std::fflush(stdout);
  }
  std::printf("played %d frames\n", frames);
  std::fflush(stdout);
  while (g_stop == 0) node.Wait(200);
  node.Unplug();
  return 0;
}
