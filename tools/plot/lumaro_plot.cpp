// lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]: compares the reports a
// run produced (lumaro-replay output or a simulator log) with the ground
// truth that a generated scene trace carries in its `# truth` lines. Draws
// both into a PNG and/or prints the score on standard output. A trace
// without truth still gets its picture and its counts.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "tools/plot/plot_png.h"
#include "tools/plot/truth_score.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-plot";
constexpr char kUsage[] = "usage: lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]\n";
constexpr char kAbout[] =
    "Draws the reported paths (the report lines of REPORTS, as lumaro-replay or the\n"
    "simulator's log give them) over the true ones (the '# truth' lines of TRACE).\n"
    "Either input may be - for standard input.\n";
constexpr char kExitStatus[] =
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable, malformed, or not a trace or report listing.\n";

struct PlotOptions {
  std::vector<std::string> inputs;
  std::string out_path;
  bool stats = false;
};

// Parses the command line; cli::kParsed to go on.
int ParseCommandLine(int argc, char** argv, PlotOptions* o) {
  std::vector<cli::Option> table{
      {"-o", "OUT.png", "write the picture",
       [o](const std::string& value, std::string* error) {
         if (!o->out_path.empty()) {
           *error = "-o given twice";
           return false;
         }
         o->out_path = value;
         return true;
       }},
      {"--stats", "",
       "print the number of reports and lifts and, with truth, how far\n"
       "the reports lie from the true paths",
       [o](const std::string&, std::string*) { return o->stats = true; }},
  };
  const int status =
      cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, std::move(table),
                            cli::ParseSetup::Collecting(&o->inputs), cli::Arguments(argc, argv));
  if (status != cli::kParsed) return status;
  if (o->inputs.size() != 2) return cli::UsageError(kProgram, "give TRACE and REPORTS", kUsage);
  if (o->out_path.empty() && !o->stats)
    return cli::UsageError(kProgram, "give -o or --stats", kUsage);
  if (o->inputs[0] == "-" && o->inputs[1] == "-") {
    return cli::UsageError(kProgram, "only one input can be standard input", kUsage);
  }
  return cli::kParsed;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  PlotOptions options;
  if (const int status = ParseCommandLine(argc, argv, &options); status != cli::kParsed) {
    return status;
  }
  const std::vector<std::string>& inputs = options.inputs;
  const std::string& out_path = options.out_path;
  const bool stats = options.stats;

  std::string error, trace_text, report_text;
  if (!cli::ReadInput(inputs[0], &trace_text, &error) ||
      !cli::ReadInput(inputs[1], &report_text, &error)) {
    return cli::Fail(kProgram, error, cli::kBadInput);
  }
  // The trace must be one: report listings given first are caught here.
  lumaro::trace::Trace trace;
  if (!lumaro::trace::ParseTrace(trace_text, &trace, &error)) {
    return cli::Fail(kProgram, inputs[0] + ": not a trace: " + error, cli::kBadInput);
  }
  lumaro::tools::Truth truth;
  std::vector<lumaro::tools::Report> reports;
  if (!lumaro::tools::ParseTruth(trace_text, inputs[0], &truth, &error) ||
      !lumaro::tools::ParseReports(report_text, inputs[1], &reports, &error)) {
    return cli::Fail(kProgram, error, cli::kBadInput);
  }
  if (reports.empty()) return cli::Fail(kProgram, inputs[1] + ": no report lines", cli::kBadInput);
  const lumaro::tools::Score score = lumaro::tools::ScoreReports(truth, reports);
  if (!out_path.empty()) {
    const bool written =
        lumaro::tools::WritePlotPng(out_path, BaseName(inputs[0]), truth, reports, score, &error);
    lumaro::tools::ReleaseDrawingCaches();
    if (!written) return cli::Fail(kProgram, error, cli::kFailed);
  }
  if (stats) {
    std::fputs(lumaro::tools::FormatStats(truth, score).c_str(), stdout);
    if (!cli::FlushStdout(&error)) return cli::Fail(kProgram, error, cli::kFailed);
  }
  return cli::kOk;
}
