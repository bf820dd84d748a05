// lumaro-doctor [--json] [--png FILE] [--prometheus FILE] TRACE | --live
// SECONDS | --last SECONDS: runs a trace (recorded, or the controller's
// traffic now, or the daemon's history) through the daemon's own frame path,
// checks the link, the identity, the calibration and what each camera sees,
// and prints one line per check.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"
#include "tools/doctor/live_record.h"
#include "tools/doctor/waterfall_png.h"
#include "tools/plot/drawing.h"
#include "trace/monitor_client.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;
namespace doctor = lumaro::doctor;

constexpr char kProgram[] = "lumaro-doctor";
// The doctor itself could not do what was asked (no device, a recording
// that failed, an output that cannot be written): distinct from the
// verdicts 0, 1 and 2.
constexpr int kToolFailed = 3;

constexpr char kUsage[] =
    "usage: lumaro-doctor [--json] [--png FILE] [--prometheus FILE] TRACE\n"
    "       lumaro-doctor [OUTPUTS] [--save TRACE] [--monitor PATH] --live SECONDS\n"
    "       lumaro-doctor [OUTPUTS] [--save TRACE] [--monitor PATH] --last SECONDS\n";
constexpr char kAbout[] =
    "Runs a recorded trace (- for standard input) through the touch daemon's own\n"
    "frame path and says what is wrong with the touch frame: one line per check\n"
    "(ok, warn, fail). --live records first: from the daemon's monitor stream\n"
    "while lumarod runs, else from /dev/lumaro; --last takes the daemon's history.\n\n";
constexpr char kExitStatus[] =
    "\nExit status: 0 ok, 1 warnings, 2 failures, 3 the doctor failed (no device,\n"
    "recording failed, output cannot be written), 64 usage, 65 unreadable trace.\n";

struct DoctorOptions {
  std::string trace_path;
  std::string png_path;
  std::string save_path;
  std::string prometheus_path;
  std::string monitor_path = lumaro::trace::kDefaultMonitorPath;
  bool json = false;
  long live_seconds = 0;
  long last_seconds = 0;
};

// A number of seconds from 1 to 86400 into *out.
cli::OptionAction Seconds(const char* option, long* out) {
  return [option, out](const std::string& value, std::string* error) {
    char* end = nullptr;
    *out = std::strtol(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0' && *out > 0 && *out <= 86400) return true;
    *error = std::string(option) + " takes a number of seconds from 1 to 86400";
    return false;
  };
}

cli::OptionAction Text(std::string* out) {
  return [out](const std::string& value, std::string*) {
    *out = value;
    return true;
  };
}

std::vector<cli::Option> OptionTable(DoctorOptions* o) {
  return {
      {"--json", "", "one JSON object instead of the lines",
       [o](const std::string&, std::string*) { return o->json = true; }},
      {"--png", "FILE", "draw each camera's line images over time, with findings",
       Text(&o->png_path)},
      {"--prometheus", "FILE", "write the checks and link counts as Prometheus metrics",
       Text(&o->prometheus_path)},
      {"--live", "SECONDS", "record the controller for SECONDS first",
       Seconds("--live", &o->live_seconds)},
      {"--last", "SECONDS", "diagnose the running daemon's last SECONDS",
       Seconds("--last", &o->last_seconds)},
      {"--monitor", "PATH", "the daemon's monitor socket (default /run/lumaro/monitor)",
       Text(&o->monitor_path)},
      {"--save", "TRACE", "keep the recording in TRACE", Text(&o->save_path)},
  };
}

int Usage(const std::string& message) {
  return cli::UsageError(kProgram, message, kUsage);
}

// Parses the command line; a status to exit with, or cli::kParsed to go on.
int ParseCommandLine(int argc, char** argv, DoctorOptions* o) {
  cli::ParseSetup setup;
  setup.operand = [o](const std::string& arg, std::string* error) {
    if (o->trace_path.empty()) {
      o->trace_path = arg;
      return true;
    }
    *error = "one trace at a time";
    return false;
  };
  const int status = cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, OptionTable(o),
                                           setup, cli::Arguments(argc, argv));
  if (status != cli::kParsed) return status;
  const int sources =
      (o->live_seconds > 0) + (o->last_seconds > 0) + (o->trace_path.empty() ? 0 : 1);
  if (sources != 1) return Usage("give a TRACE, --live SECONDS or --last SECONDS");
  if (!o->save_path.empty() && !o->trace_path.empty()) {
    return Usage("--save goes with --live or --last");
  }
  return cli::kParsed;
}

// The outputs, opened before any recording starts, so that one that cannot
// be written costs no recording.
struct Outputs {
  cli::AtomicFile save;
  cli::AtomicFile png;
  cli::AtomicFile prometheus;
};

bool OpenOutputs(const DoctorOptions& o, Outputs* out, std::string* error) {
  return (o.save_path.empty() || out->save.Open(o.save_path, error)) &&
         (o.png_path.empty() || out->png.Open(o.png_path, error)) &&
         (o.prometheus_path.empty() || out->prometheus.Open(o.prometheus_path, error));
}

bool WriteAll(cli::AtomicFile& file, const std::string& path, const std::string& bytes,
              std::string* error) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
    *error = path + ": " + std::strerror(errno);
    file.Discard();
    return false;
  }
  return file.Commit(error);
}

// The trace to diagnose: recorded live (and saved), or read from a file or
// standard input. A status to exit with, or kLoaded to go on.
constexpr int kLoaded = -1;
int LoadTrace(const DoctorOptions& o, Outputs& outputs, lumaro::trace::Trace* trace,
              std::string* name) {
  std::string text, error;
  if (o.trace_path.empty()) {
    doctor::LiveOptions live;
    live.seconds = o.live_seconds;
    live.last_seconds = o.last_seconds;
    live.monitor_path = o.monitor_path;
    if (!doctor::RecordLive(live, &text, &error)) {
      return cli::Fail(kProgram, error, kToolFailed);
    }
    if (!o.save_path.empty() && !WriteAll(outputs.save, o.save_path, text, &error)) {
      return cli::Fail(kProgram, error, kToolFailed);
    }
    *name = o.save_path.empty() ? "(live)" : o.save_path;
    if (!lumaro::trace::ParseTrace(text, trace, &error)) {
      return cli::Fail(kProgram, "the recording: " + error, kToolFailed);
    }
    return kLoaded;
  }
  *name = o.trace_path == "-" ? "standard input" : o.trace_path;
  if (!cli::ReadInput(o.trace_path, &text, &error))
    return cli::Fail(kProgram, error, cli::kBadInput);
  if (!lumaro::trace::ParseTrace(text, trace, &error)) {
    return cli::Fail(kProgram, *name + ": " + error, cli::kBadInput);
  }
  return kLoaded;
}

}  // namespace

int main(int argc, char** argv) {
  DoctorOptions options;
  if (const int status = ParseCommandLine(argc, argv, &options); status != cli::kParsed) {
    return status;
  }

  Outputs outputs;
  std::string error;
  if (!OpenOutputs(options, &outputs, &error)) return cli::Fail(kProgram, error, kToolFailed);
  lumaro::trace::Trace trace;
  std::string name;
  if (const int status = LoadTrace(options, outputs, &trace, &name); status != kLoaded) {
    return status;
  }

  const doctor::ProbeResult probe = doctor::ProbeTrace(trace);
  const doctor::Diagnosis diagnosis = doctor::Diagnose(probe);
  const std::string out =
      options.json ? doctor::FormatJson(diagnosis, name) : doctor::FormatText(diagnosis);
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (!cli::FlushStdout(&error)) return cli::Fail(kProgram, error, kToolFailed);
  if (!options.prometheus_path.empty() &&
      !WriteAll(outputs.prometheus, options.prometheus_path,
                doctor::FormatPrometheus(diagnosis, probe.link), &error)) {
    return cli::Fail(kProgram, error, kToolFailed);
  }
  if (!options.png_path.empty()) {
    std::string png;
    const bool drawn = doctor::DrawWaterfallPng(name.substr(name.rfind('/') + 1), trace, probe,
                                                diagnosis, &png, &error);
    lumaro::tools::ReleaseDrawingCaches();
    if (!drawn || !WriteAll(outputs.png, options.png_path, png, &error)) {
      return cli::Fail(kProgram, error, kToolFailed);
    }
  }
  return doctor::ExitStatus(diagnosis);
}
