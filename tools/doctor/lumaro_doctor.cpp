// lumaro-doctor [--json] [--png FILE] TRACE | --live SECONDS: runs a trace
// through the daemon's own frame path, checks the link, the identity, the
// calibration and what each camera sees, and prints one line per check.
//
// Exit status: 0 ok, 1 warnings only, 2 any failure, 64 usage error, 65 an
// unreadable or malformed trace; 1 also when the picture cannot be written
// or a live recording fails.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/version.h"
#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"
#include "tools/doctor/live_record.h"
#include "tools/doctor/waterfall_png.h"
#include "tools/plot/drawing.h"
#include "trace/trace.h"

namespace {

constexpr int kUsageError = 64;
constexpr int kBadInput = 65;
constexpr int kFailure = 1;

constexpr char kUsage[] =
    "usage: lumaro-doctor [--json] [--png FILE] TRACE\n"
    "       lumaro-doctor [--json] [--png FILE] [--save TRACE] --live SECONDS\n";

constexpr char kHelp[] =
    "Runs a recorded trace through the touch daemon's own frame path and says\n"
    "what is wrong with the touch frame: one line per check (ok, warn, fail).\n"
    "\n"
    "  --json          one JSON object instead of the lines\n"
    "  --png FILE      draw each camera's line images over time, with findings\n"
    "  --live SECONDS  record /dev/lumaro for SECONDS first (lumarod must be stopped)\n"
    "  --save TRACE    keep the live recording in TRACE\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 ok, 1 warnings, 2 failures, 64 usage, 65 unreadable trace.\n";

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "lumaro-doctor: %s\n", message);
  std::fputs(kUsage, stderr);
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  std::string trace_path, png_path, save_path;
  bool json = false;
  long live_seconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("lumaro-doctor %s\n", lumaro::kVersion);
      return 0;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--png" || arg == "--save" || arg == "--live") {
      if (i + 1 == argc) return Usage((std::string(arg) + " needs a value").c_str());
      const char* value = argv[++i];
      if (arg == "--png") {
        png_path = value;
      } else if (arg == "--save") {
        save_path = value;
      } else {
        char* end = nullptr;
        live_seconds = std::strtol(value, &end, 10);
        if (*end != '\0' || live_seconds <= 0 || live_seconds > 86400) {
          return Usage("--live takes a number of seconds from 1 to 86400");
        }
      }
    } else if (arg.size() > 1 && arg.front() == '-') {
      return Usage(("unknown option " + std::string(arg)).c_str());
    } else if (!trace_path.empty()) {
      return Usage("one trace at a time");
    } else {
      trace_path = arg;
    }
  }
  if ((live_seconds > 0) == !trace_path.empty()) return Usage("give a TRACE or --live SECONDS");
  if (!save_path.empty() && live_seconds == 0) return Usage("--save goes with --live");

  lumaro::trace::Trace trace;
  std::string error;
  if (live_seconds > 0) {
    std::string text;
    if (!lumaro::doctor::RecordLive(live_seconds, save_path, &text, &error)) {
      std::fprintf(stderr, "lumaro-doctor: %s\n", error.c_str());
      return kFailure;
    }
    trace_path = save_path.empty() ? "(live)" : save_path;
    if (!lumaro::trace::ParseTrace(text, &trace, &error)) {
      std::fprintf(stderr, "lumaro-doctor: the recording: %s\n", error.c_str());
      return kFailure;
    }
  } else if (!lumaro::trace::LoadTraceFile(trace_path, &trace, &error)) {
    std::fprintf(stderr, "lumaro-doctor: %s\n", error.c_str());
    return kBadInput;
  }

  const lumaro::doctor::ProbeResult probe = lumaro::doctor::ProbeTrace(trace);
  const lumaro::doctor::Diagnosis diagnosis = lumaro::doctor::Diagnose(probe);
  const std::string out = json ? lumaro::doctor::FormatJson(diagnosis, trace_path)
                               : lumaro::doctor::FormatText(diagnosis);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "lumaro-doctor: cannot write the result\n");
    return kFailure;
  }
  if (!png_path.empty()) {
    const bool written = lumaro::doctor::WriteWaterfallPng(
        png_path, trace_path.substr(trace_path.rfind('/') + 1), probe, diagnosis, &error);
    lumaro::tools::ReleaseDrawingCaches();
    if (!written) {
      std::fprintf(stderr, "lumaro-doctor: %s\n", error.c_str());
      return kFailure;
    }
  }
  return lumaro::doctor::ExitStatus(diagnosis);
}
