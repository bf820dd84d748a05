// lumaro-record [--frames N] [OUT]: records the camera controller at
// /dev/lumaro into a trace (standard output without OUT, or with "-") until N
// frames have been read, a read fails, or SIGINT/SIGTERM. OUT is replaced
// only by a complete trace.
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
#include "driver-interface/device_io.h"
#include "tools/recorder.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-record";
constexpr char kUsage[] = "usage: lumaro-record [--frames N] [OUT]\n";
constexpr char kAbout[] =
    "Records the camera controller at /dev/lumaro into a trace: its identity and\n"
    "blocks, then one frame line per read, until N frames, a read failure, or\n"
    "SIGINT/SIGTERM. Without OUT, or with -, the trace goes to standard output.\n"
    "OUT is replaced only once the whole trace is written.\n";
constexpr char kExitStatus[] =
    "Exit status: 0 recorded, 1 device or write failure, 64 usage error.\n";

// Parses the command line into *frames and *out_path; cli::kParsed to go on.
int ParseCommandLine(int argc, char** argv, long* frames, std::string* out_path) {
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

  void Update(const lumaro::tools::RecordResult& r) {
    const double seconds = Seconds();
    if (seconds < next_) return;
    next_ = seconds + (terminal_ ? 0.2 : 10.0);
    Print(r, seconds);
  }
  // Ends an in-place line, so the next message starts on a line of its own.
  void Finish(const lumaro::tools::RecordResult& r) {
    if (!terminal_) return;
    Print(r, Seconds());
    std::fputc('\n', stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  void Print(const lumaro::tools::RecordResult& r, double seconds) {
    std::fprintf(stderr, "%srecording: %ld frames, %.1f s, %ld read errors%s",
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
  if (const int status = ParseCommandLine(argc, argv, &frames, &out_path); status != cli::kParsed) {
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

  lumaro::SystemDeviceIo io;
  Progress progress;
  const lumaro::tools::RecordResult result = lumaro::tools::RecordTrace(
      io, out, frames, g_stop, [&](const lumaro::tools::RecordResult& r) { progress.Update(r); });
  progress.Finish(result);
  if (!result.opened || result.write_failed) {
    // Nothing worth keeping: an existing OUT stays as it was.
    return cli::Fail(kProgram, result.error, cli::kFailed);
  }
  // A recording ended by a read failure is kept: it shows what the device did.
  const bool written = !out_path.empty() ? file.Commit(&error) : cli::FlushStdout(&error);
  if (!written) return cli::Fail(kProgram, error, cli::kFailed);
  if (!result.ok) {
    std::fprintf(stderr, "%s: %s; the %ld frames before it are recorded\n", kProgram,
                 result.error.c_str(), result.frames);
    return cli::kFailed;
  }
  std::fprintf(stderr, "%s: %ld frames recorded\n", kProgram, result.frames);
  return cli::kOk;
}
