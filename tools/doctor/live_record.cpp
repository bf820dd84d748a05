#include "tools/doctor/live_record.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "tools/live_source.h"

namespace lumaro::doctor {
namespace {

std::atomic<bool> g_interrupted{false};

// Off a terminal, the progress is a plain line this often.
constexpr long long kPlainProgressSeconds = 10;

void OnSignal(int) {
  g_interrupted = true;
}

// Counts frames, draws the progress line once a second and says when the
// time is up.
class Clock {
 public:
  explicit Clock(const LiveOptions& options) : options_(options), start_(options.now()) {}

  void Frame() { ++frames_; }
  bool TimeLeft() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(options_.now() - start_);
    if (elapsed.count() != shown_) {
      shown_ = elapsed.count();
      if (options_.terminal || shown_ % kPlainProgressSeconds == 0) Progress();
    }
    return options_.last_seconds > 0 || elapsed.count() < options_.seconds;
  }
  void Progress() {
    if (options_.progress == nullptr) return;
    if (options_.last_seconds > 0) {
      std::fprintf(options_.progress, "%slumaro-doctor: the daemon's last %ld s, %ld frames%s",
                   options_.terminal ? "\r" : "", options_.last_seconds, frames_,
                   options_.terminal ? "" : "\n");
    } else {
      std::fprintf(options_.progress, "%slumaro-doctor: recording %lld of %ld s, %ld frames%s",
                   options_.terminal ? "\r" : "",
                   static_cast<long long>(std::min<long long>(shown_, options_.seconds)),
                   options_.seconds, frames_, options_.terminal ? "" : "\n");
    }
    std::fflush(options_.progress);
  }

 private:
  const LiveOptions& options_;
  std::chrono::steady_clock::time_point start_;
  long long shown_ = 0;
  long frames_ = 0;
};

}  // namespace

bool RecordFrom(const LiveOptions& options, const std::atomic<bool>& stop, std::string* trace_text,
                std::string* error) {
  Clock clock(options);
  tools::LiveRequest request;
  request.monitor_path = options.monitor_path;
  request.last_seconds = options.last_seconds;
  tools::LiveHooks hooks;
  hooks.line = [&](std::string_view line) {
    // The history asked for ends where the live entries begin.
    if (options.last_seconds > 0 && line == trace::kLiveMarkerLine) return false;
    trace_text->append(line).push_back('\n');
    if (line.starts_with("frame ")) clock.Frame();
    return clock.TimeLeft();
  };
  hooks.keep_going = [&] { return clock.TimeLeft(); };
  const tools::LiveResult result = tools::ReadLive(request, stop, hooks, options.node);
  clock.Progress();
  if (options.progress != nullptr && options.terminal) std::fputc('\n', options.progress);
  if (!result.ok) {
    *error = result.error;
    return false;
  }
  return true;
}

bool RecordLive(LiveOptions options, std::string* trace_text, std::string* error) {
  // Without SA_RESTART, so a waiting read returns and the recording ends.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  options.progress = stderr;
  options.terminal = ::isatty(STDERR_FILENO) == 1;
  return RecordFrom(options, g_interrupted, trace_text, error);
}

}  // namespace lumaro::doctor
