#include "calibration-common/verify_run.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "calibration-common/calib_main.h"
#include "calibration-common/figures.h"
#include "calibration-common/interruption.h"
#include "calibration-common/screen.h"
#include "calibration-common/session_start.h"
#include "calibration-common/verify_check.h"

namespace lumaro {
namespace {

struct VerifyOptions {
  double tolerance = kDefaultVerifyTolerance;
  std::string monitor = kDefaultMonitorPath;
};

bool ParseVerifyOptions(int argc, const char* const* argv, VerifyOptions& o) {
  for (int i = 2; i < argc; i += 2) {
    if (i + 1 >= argc) return false;
    if (std::strcmp(argv[i], "--monitor") == 0) {
      o.monitor = argv[i + 1];
    } else if (std::strcmp(argv[i], "--tolerance") == 0) {
      char* end = nullptr;
      o.tolerance = std::strtod(argv[i + 1], &end);
      if (end == argv[i + 1] || *end != '\0' || !(o.tolerance >= 0.0)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Connects to the stream and asks for it live; -1 with errno on failure.
int OpenStream(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  static constexpr char kLive[] = "live\n";
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      send(fd, kLive, sizeof kLive - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof kLive - 1)) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

void DrawCentred(CalibDisplay& d, int y, const std::string& text) {
  const int length = static_cast<int>(text.size());
  XDrawString(d.display, d.window, d.gc,
              static_cast<int>(d.width / 2) - XTextWidth(d.font, text.c_str(), length) / 2, y,
              text.c_str(), length);
}

void DrawStep(CalibDisplay& d, const VerifyCheck& check, const std::string& last) {
  XClearWindow(d.display, d.window);
  XSetForeground(d.display, d.gc, d.palette[kPaletteWhite]);
  XSetLineAttributes(d.display, d.gc, 2, LineSolid, CapRound, JoinRound);
  const int line = d.font->ascent + d.font->descent;
  const int top = static_cast<int>(d.height / 4);
  DrawCentred(d, top, "Verify: touch the crosshair and lift");
  if (!last.empty()) DrawCentred(d, top + 2 * line, last);
  if (const std::optional<ScreenPoint> t = check.Target()) {
    DrawCrosshairFigure(d.display, d.window, d.gc, static_cast<int>(t->x), static_cast<int>(t->y));
  }
  XFlush(d.display);
}

class VerifySession {
 public:
  VerifySession(CalibDisplay& d, int stream, double tolerance)
      : d_(d), stream_(stream), check_(d.width, d.height, tolerance) {}

  // Runs the pass; what kept it from its end, empty when it was completed.
  std::string Run() {
    DrawStep(d_, check_, "");
    while (!check_.done()) {
      if (StopSignal() != 0) return "verify not completed";
      while (XPending(d_.display) > 0) {
        XEvent event;
        XNextEvent(d_.display, &event);
        if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == kEscapeKeysym) {
          return "verify not completed: Escape";
        }
        if (event.type == Expose) DrawStep(d_, check_, last_);
      }
      pollfd fds[2] = {{ConnectionNumber(d_.display), POLLIN, 0}, {stream_, POLLIN, 0}};
      if (poll(fds, 2, 200) < 0 && errno != EINTR) return "poll failed";
      if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const std::string ended = ReadStream();
      if (!ended.empty()) return ended;
    }
    return "";
  }

  const VerifyCheck& check() const { return check_; }

 private:
  // Reads what the stream holds and takes its complete lines.
  std::string ReadStream() {
    char chunk[4096];
    const ssize_t n = read(stream_, chunk, sizeof chunk);
    if (n < 0) return errno == EINTR ? "" : std::string("the stream failed: ") + strerror(errno);
    if (n == 0) return "the daemon's monitor stream ended";
    pending_.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; !check_.done() && (end = pending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string_view line(pending_.data() + start, end - start);
      if (line.starts_with("error ")) return "the daemon refused the stream: " + std::string(line);
      if (const std::optional<ScreenPoint> touch = follower_.OnLine(line)) Take(*touch);
    }
    pending_.erase(0, start);
    return "";
  }

  void Take(ScreenPoint report) {
    const ScreenPoint target = *check_.Target();
    const std::size_t k = taken_;
    const double error = check_.Touch(report);
    char text[160];
    std::snprintf(text, sizeof text,
                  "target %zu at (%.0f, %.0f): touched at (%.0f, %.0f), error %.1f px", k + 1,
                  target.x, target.y, report.x * d_.width / kReportUnits,
                  report.y * d_.height / kReportUnits, error);
    std::printf("%s\n", text);
    std::fflush(stdout);
    last_ = text;
    ++taken_;
    DrawStep(d_, check_, last_);
  }

  CalibDisplay& d_;
  int stream_;
  VerifyCheck check_;
  TouchFollower follower_;
  std::string pending_;
  std::string last_;
  std::size_t taken_ = 0;
};

}  // namespace

int RunVerify(const char* program, int argc, const char* const* argv, const char* font_name) {
  VerifyOptions options;
  if (!ParseVerifyOptions(argc, argv, options)) {
    std::fprintf(stderr, "%s: usage: %s --verify [--tolerance PX] [--monitor PATH]\n", program,
                 program);
    return 1;
  }
  const int stream = OpenStream(options.monitor);
  if (stream < 0) {
    std::fprintf(stderr,
                 "%s: cannot read the daemon's monitor stream %s: %s (is lumarod running?)\n",
                 program, options.monitor.c_str(), std::strerror(errno));
    return 1;
  }
  CatchStopSignals();
  CalibDisplay display;
  constexpr long kMask = KeyPressMask | ExposureMask;
  if (!ShowCalibrationWindow(display, program, {kMask, kMask, font_name}, stderr)) {
    close(stream);
    return 1;
  }
  VerifySession session(display, stream, options.tolerance);
  const std::string failure = session.Run();
  ReleaseCalibDisplay(display);
  close(stream);
  if (StopSignal() != 0) {
    std::fprintf(stderr, "%s: stopped by %s; verify not completed\n", program,
                 StopSignalName(StopSignal()).c_str());
    return 128 + StopSignal();
  }
  if (!failure.empty()) return ExitStatus(program, failure, stderr);
  std::printf("%s\n", session.check().Verdict().c_str());
  return session.check().Passed() ? 0 : 1;
}

}  // namespace lumaro
