// lumaro-replay [--decode] TRACE: runs the daemon's own loop, set-up, intake,
// engine, filters and report writer over a recorded trace (standard input
// for "-"), offline. Each report the daemon would have written is printed on
// standard output as "report <hex>", or with --decode as its contact
// records; the daemon's diagnostics go to standard error.
// lumaro-replay --decode --reports LISTING decodes the report lines of a
// report listing (a simulator log, say) and passes its other lines on.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tools/replay.h"
#include "tools/trace_device_io.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-replay";
constexpr char kUsage[] =
    "usage: lumaro-replay [--decode] TRACE\n"
    "       lumaro-replay --decode --reports LISTING\n";
constexpr char kHelp[] =
    "usage: lumaro-replay [--decode] TRACE\n"
    "       lumaro-replay --decode --reports LISTING\n"
    "Runs the daemon's loop over TRACE (- for standard input) offline and prints\n"
    "each report it writes as \"report HEX\" on standard output; the daemon's own\n"
    "lines go to standard error.\n"
    "  --decode    print each report as its contact records:\n"
    "              report  | slot S down D x X y Y | slot S down D x X y Y |\n"
    "  --reports   LISTING is a report listing (a simulator log or a replay's\n"
    "              output), not a trace: its report lines are decoded as they\n"
    "              arrive, other lines are passed on\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable or malformed.\n";

// Decodes the report lines of a listing, line by line, each flushed at once
// so that a live log is shown as it grows.
int DecodeListing(const std::string& path) {
  std::string error;
  std::FILE* in = cli::OpenInput(path, &error);
  if (in == nullptr) return cli::Fail(kProgram, error, cli::kBadInput);
  std::string line;
  int c = 0;
  bool failed = false;
  while (!failed && (c = std::fgetc(in)) != EOF) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    std::vector<std::uint8_t> bytes;
    if (lumaro::trace::ParseReportLine(line, &bytes)) {
      line = lumaro::trace::FormatDecodedReportLine(bytes);
    }
    std::printf("%s\n", line.c_str());
    failed = !cli::FlushStdout(&error);
    line.clear();
  }
  const bool read_failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) return cli::Fail(kProgram, error, cli::kFailed);
  if (read_failed) return cli::Fail(kProgram, path + ": read failed", cli::kBadInput);
  if (!line.empty()) std::printf("%s\n", line.c_str());
  return cli::FlushStdout(&error) ? cli::kOk : cli::Fail(kProgram, error, cli::kFailed);
}

}  // namespace

int main(int argc, char** argv) {
  bool decode = false;
  bool listing = false;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return cli::PrintHelp(kProgram, kHelp);
    if (arg == "--version") return cli::PrintVersion(kProgram);
    if (arg == "--decode") {
      decode = true;
    } else if (arg == "--reports") {
      listing = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return cli::UsageError(kProgram, "unknown option " + arg, kUsage);
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.size() != 1) {
    return cli::UsageError(kProgram, inputs.empty() ? "no input given" : "more than one input",
                           kUsage);
  }
  if (listing && !decode) return cli::UsageError(kProgram, "--reports needs --decode", kUsage);
  if (listing) return DecodeListing(inputs[0]);

  std::string text, error;
  lumaro::trace::Trace trace;
  if (!cli::ReadInput(inputs[0], &text, &error)) return cli::Fail(kProgram, error, cli::kBadInput);
  if (!lumaro::trace::ParseTrace(text, &trace, &error)) {
    return cli::Fail(kProgram, (inputs[0] == "-" ? "standard input" : inputs[0]) + ": " + error,
                     cli::kBadInput);
  }
  lumaro::tools::Replay(trace, {.reports = stdout, .diagnostics = stderr, .decoded = decode});
  return cli::FlushStdout(&error) ? cli::kOk : cli::Fail(kProgram, error, cli::kFailed);
}
