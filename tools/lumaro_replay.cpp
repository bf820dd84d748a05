// lumaro-replay [--decode] TRACE: runs the daemon's own loop, set-up, intake,
// engine, filters and report writer over a recorded trace (standard input
// for "-"), offline. Each report the daemon would have written is printed on
// standard output as "report <hex>", or with --decode as its contact
// records; the daemon's diagnostics go to standard error.
// lumaro-replay --decode --reports LISTING decodes the report lines of a
// report listing (a simulator log, say) and passes its other lines on.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
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
constexpr char kAbout[] =
    "Runs the daemon's loop over TRACE (- for standard input) offline and prints\n"
    "each report it writes as \"report HEX\" on standard output; the daemon's own\n"
    "lines go to standard error.\n";
constexpr char kExitStatus[] =
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable or malformed.\n";

struct ReplayOptions {
  bool decode = false;
  bool listing = false;
  std::vector<std::string> inputs;
};

// Parses the command line; cli::kParsed to go on.
int ParseCommandLine(int argc, char** argv, ReplayOptions* o) {
  std::vector<cli::Option> table{
      {"--decode", "",
       "print each report as its contact records:\n"
       "report  | slot S down D x X y Y | slot S down D x X y Y |",
       [o](const std::string&, std::string*) { return o->decode = true; }},
      {"--reports", "",
       "LISTING is a report listing (a simulator log or a replay's\n"
       "output), not a trace: its report lines are decoded as they\n"
       "arrive, other lines are passed on",
       [o](const std::string&, std::string*) { return o->listing = true; }},
  };
  const int status =
      cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, std::move(table),
                            cli::ParseSetup::Collecting(&o->inputs), cli::Arguments(argc, argv));
  if (status != cli::kParsed) return status;
  if (o->inputs.size() != 1) {
    return cli::UsageError(kProgram, o->inputs.empty() ? "no input given" : "more than one input",
                           kUsage);
  }
  if (o->listing && !o->decode) {
    return cli::UsageError(kProgram, "--reports needs --decode", kUsage);
  }
  return cli::kParsed;
}

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
  ReplayOptions options;
  if (const int status = ParseCommandLine(argc, argv, &options); status != cli::kParsed) {
    return status;
  }
  const std::string& input = options.inputs[0];
  if (options.listing) return DecodeListing(input);

  std::string text, error;
  lumaro::trace::Trace trace;
  if (!cli::ReadInput(input, &text, &error)) return cli::Fail(kProgram, error, cli::kBadInput);
  if (!lumaro::trace::ParseTrace(text, &trace, &error)) {
    return cli::Fail(kProgram, (input == "-" ? "standard input" : input) + ": " + error,
                     cli::kBadInput);
  }
  lumaro::tools::Replay(trace,
                        {.reports = stdout, .diagnostics = stderr, .decoded = options.decode});
  return cli::FlushStdout(&error) ? cli::kOk : cli::Fail(kProgram, error, cli::kFailed);
}
