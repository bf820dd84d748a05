// lumaro-record [--frames N] [--monitor PATH] [OUT]: records the camera
// controller into a trace (standard output without OUT, or with "-") until N
// frames, SIGINT/SIGTERM, or the end of the daemon's stream. Beside a running
// lumarod it records the daemon's monitor stream; without one, the node,
// through read errors and unplugs. OUT is replaced only by a complete trace.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "tools/live_source.h"
#include "trace/report_line.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-record";
constexpr char kUsage[] = "usage: lumaro-record [--frames N] [--monitor PATH] [OUT]\n";
constexpr char kAbout[] =
    "Records the camera controller into a trace: its identity and blocks, then\n"
    "one frame line per read, until N frames or SIGINT/SIGTERM. While lumarod\n"
    "runs it records the daemon's monitor stream (with the daemon's reports);\n"
    "otherwise /dev/lumaro, through read errors and unplugs. Without OUT, or\n"
    "with -, the trace goes to standard output. OUT is replaced only once the\n"
    "whole trace is written.\n";
constexpr char kExitStatus[] =
    "Exit status: 0 recorded, 1 device or write failure (or the daemon stopped\n"
    "before N frames), 64 usage error.\n";

struct RecordCounts {
  long frames = 0;
  long read_errors = 0;  // failed reads other than time-outs
};

// Parses the command line into *frames and *out_path; cli::kParsed to go on.
int ParseCommandLine(int argc, char** argv, long* frames, std::string* monitor,
                     std::string* out_path) {
  std::vector<cli::Option> table{
      {"--frames", "N", "stop after N frames (default: no limit)",
       [frames](const std::string& value, std::string* error) {
         char* end = nullptr;
         errno = 0;
         *frames = std::strtol(value.c_str(), &end, 10);
         if (!value.empty() && *end == '\0' && *frames > 0 && errno != ERANGE) return true;
         *error = "--frames takes a number above 0";
         return false;
       }},
      {"--monitor", "PATH", "the daemon's monitor socket (default /run/lumaro/monitor)",
       [monitor](const std::string& value, std::string*) {
         *monitor = value;
         return true;
       }},
  };
  bool given = false;
  cli::ParseSetup setup;
  setup.operand = [&](const std::string& arg, std::string* error) {
    if (given) {
      *error = "more than one OUT given";
      return false;
    }
    given = true;
    *out_path = arg == "-" ? "" : arg;
    return true;
  };
  return cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, std::move(table), setup,
                               cli::Arguments(argc, argv));
}

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

// The progress line on standard error: rewritten in place on a terminal,
// otherwise a plain line every 10 seconds.
class Progress {
 public:
  Progress() : terminal_(isatty(STDERR_FILENO) == 1), start_(Clock::now()) {
    next_ = terminal_ ? 0 : 10;
  }

  void Update(const RecordCounts& r) {
    const double seconds = Seconds();
    if (seconds < next_) return;
    next_ = seconds + (terminal_ ? 0.2 : 10.0);
    Print(r, seconds);
  }
  // Ends an in-place line, so the next message starts on a line of its own.
  void Finish(const RecordCounts& r) {
    if (!terminal_) return;
    Print(r, Seconds());
    std::fputc('\n', stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  void Print(const RecordCounts& r, double seconds) {
    std::fprintf(stderr, "%srecording: %ld frames, %.1f s, %ld link faults%s",
                 terminal_ ? "\r" : "", r.frames, seconds, r.read_errors,
                 terminal_ ? "\033[K" : "\n");
    std::fflush(stderr);
  }

  bool terminal_;
  Clock::time_point start_;
  double next_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  long frames = 0;
  std::string out_path;
  lumaro::tools::LiveRequest request;
  if (const int status = ParseCommandLine(argc, argv, &frames, &request.monitor_path, &out_path);
      status != cli::kParsed) {
    return status;
  }

  std::string error;
  cli::AtomicFile file;
  if (!out_path.empty() && !file.Open(out_path, &error)) {
    return cli::Fail(kProgram, error, cli::kFailed);
  }
  std::FILE* out = !out_path.empty() ? file.stream() : stdout;
  // Without SA_RESTART, so a waiting read returns and the recording ends.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Progress progress;
  RecordCounts counts;
  int write_error = 0;
  const auto done = [&] { return frames > 0 && counts.frames >= frames; };
  lumaro::tools::LiveHooks hooks;
  hooks.line = [&](std::string_view line) {
    // The reports of the last frame come after it; the next line ends it.
    if (done() && !lumaro::trace::IsReportLine(line)) return false;
    errno = 0;
    if (std::fprintf(out, "%.*s\n", static_cast<int>(line.size()), line.data()) < 0 ||
        std::fflush(out) != 0) {
      write_error = errno != 0 ? errno : EIO;
      return false;
    }
    if (line.starts_with("frame ")) ++counts.frames;
    if (line.starts_with("readerr ") && line != "readerr 110" && line != "readerr 62") {
      ++counts.read_errors;
    }
    if (line == "unplug" || line == "readzero") ++counts.read_errors;
    progress.Update(counts);
    return true;
  };
  hooks.keep_going = [&] { return !done(); };
  const lumaro::tools::LiveResult result = lumaro::tools::ReadLive(request, g_stop, hooks);
  progress.Finish(counts);
  if (write_error != 0) {
    return cli::Fail(kProgram, std::string("cannot write the trace: ") + std::strerror(write_error),
                     cli::kFailed);
  }
  if (!result.ok && counts.frames == 0) {
    // Nothing worth keeping: an existing OUT stays as it was.
    return cli::Fail(kProgram, result.error, cli::kFailed);
  }
  const bool written = !out_path.empty() ? file.Commit(&error) : cli::FlushStdout(&error);
  if (!written) return cli::Fail(kProgram, error, cli::kFailed);
  const char* from = result.source == lumaro::tools::LiveSource::kStream
                         ? "from the daemon's monitor stream"
                         : "from /dev/lumaro";
  if (!result.ok || (result.stream_ended && frames > 0 && !done())) {
    std::fprintf(stderr, "%s: %s; the %ld frames before it are recorded\n", kProgram,
                 result.ok ? "the daemon closed its stream" : result.error.c_str(), counts.frames);
    return cli::kFailed;
  }
  std::fprintf(stderr, "%s: %ld frames recorded %s, %ld link faults\n", kProgram, counts.frames,
               from, counts.read_errors);
  return cli::kOk;
}
