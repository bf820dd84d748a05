// lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]: compares the reports a
// run produced (lumaro-replay output or a simulator log) with the ground
// truth that a generated scene trace carries in its `# truth` lines. Draws
// both into a PNG and/or prints the score on standard output. A trace
// without truth still gets its picture and its counts.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "tools/plot/plot_png.h"
#include "tools/plot/truth_score.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-plot";
constexpr char kUsage[] = "usage: lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]\n";
constexpr char kHelp[] =
    "usage: lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]\n"
    "Draws the reported paths (the report lines of REPORTS, as lumaro-replay or the\n"
    "simulator's log give them) over the true ones (the '# truth' lines of TRACE).\n"
    "Either input may be - for standard input.\n"
    "  -o OUT.png   write the picture\n"
    "  --stats      print the number of reports and lifts and, with truth, how far\n"
    "               the reports lie from the true paths\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable, malformed, or not a trace or report listing.\n";

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  std::string out_path;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--stats") {
      stats = true;
    } else if (arg == "-o") {
      if (i + 1 == argc) return cli::UsageError(kProgram, "-o needs a value", kUsage);
      if (!out_path.empty()) return cli::UsageError(kProgram, "-o given twice", kUsage);
      out_path = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      return cli::PrintHelp(kProgram, kHelp);
    } else if (arg == "--version") {
      return cli::PrintVersion(kProgram);
    } else if (arg.size() > 1 && arg.front() == '-') {
      return cli::UsageError(kProgram, "unknown option " + std::string(arg), kUsage);
    } else {
      inputs.emplace_back(arg);
    }
  }
  if (inputs.size() != 2) return cli::UsageError(kProgram, "give TRACE and REPORTS", kUsage);
  if (out_path.empty() && !stats) return cli::UsageError(kProgram, "give -o or --stats", kUsage);
  if (inputs[0] == "-" && inputs[1] == "-") {
    return cli::UsageError(kProgram, "only one input can be standard input", kUsage);
  }

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
