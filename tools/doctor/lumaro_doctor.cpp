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

#include "cli/cli.h"
#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"
#include "tools/doctor/live_record.h"
#include "tools/doctor/waterfall_png.h"
#include "tools/plot/drawing.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-doctor";
constexpr char kUsage[] =
    "usage: lumaro-doctor [--json] [--png FILE] TRACE\n"
    "       lumaro-doctor [--json] [--png FILE] [--save TRACE] --live SECONDS\n";

constexpr char kHelp[] =
    "usage: lumaro-doctor [--json] [--png FILE] TRACE\n"
    "       lumaro-doctor [--json] [--png FILE] [--save TRACE] --live SECONDS\n"
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

int Usage(const std::string& message) {
  return cli::UsageError(kProgram, message, kUsage);
}

}  // namespace

int main(int argc, char** argv) {
  std::string trace_path, png_path, save_path;
  bool json = false;
  long live_seconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return cli::PrintHelp(kProgram, kHelp);
    if (arg == "--version") return cli::PrintVersion(kProgram);
    if (arg == "--json") {
      json = true;
    } else if (arg == "--png" || arg == "--save" || arg == "--live") {
      if (i + 1 == argc) return Usage(std::string(arg) + " needs a value");
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
      return Usage("unknown option " + std::string(arg));
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
      return cli::Fail(kProgram, error, cli::kFailed);
    }
    trace_path = save_path.empty() ? "(live)" : save_path;
    if (!lumaro::trace::ParseTrace(text, &trace, &error)) {
      return cli::Fail(kProgram, "the recording: " + error, cli::kFailed);
    }
  } else if (!lumaro::trace::LoadTraceFile(trace_path, &trace, &error)) {
    return cli::Fail(kProgram, error, cli::kBadInput);
  }

  const lumaro::doctor::ProbeResult probe = lumaro::doctor::ProbeTrace(trace);
  const lumaro::doctor::Diagnosis diagnosis = lumaro::doctor::Diagnose(probe);
  const std::string out = json ? lumaro::doctor::FormatJson(diagnosis, trace_path)
                               : lumaro::doctor::FormatText(diagnosis);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    return cli::Fail(kProgram, "cannot write the result", cli::kFailed);
  }
  if (!png_path.empty()) {
    const bool written = lumaro::doctor::WriteWaterfallPng(
        png_path, trace_path.substr(trace_path.rfind('/') + 1), probe, diagnosis, &error);
    lumaro::tools::ReleaseDrawingCaches();
    if (!written) return cli::Fail(kProgram, error, cli::kFailed);
  }
  return lumaro::doctor::ExitStatus(diagnosis);
}
