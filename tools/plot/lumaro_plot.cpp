// lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]: compares the reports a
// run produced (lumaro-replay output or a simulator log) with the ground
// truth that a generated scene trace carries in its `# truth` lines. Draws
// both into a PNG and/or prints the score on standard output.
//
// Exit status: 0 done, 2 usage error or unreadable/malformed input, 1 the
// PNG cannot be written.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plot/plot_png.h"
#include "tools/plot/truth_score.h"

namespace {

constexpr char kUsage[] = "usage: lumaro-plot TRACE REPORTS [-o OUT.png] [--stats]\n";

bool ReadFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open";
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    *error = path + ": read failed";
    return false;
  }
  *text = buffer.str();
  return true;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "lumaro-plot: %s\n", message.c_str());
  return status;
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
      if (i + 1 == argc || !out_path.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      out_path = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg.front() == '-') {
      std::fprintf(stderr, "lumaro-plot: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else {
      inputs.emplace_back(arg);
    }
  }
  if (inputs.size() != 2 || (out_path.empty() && !stats)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::string error, trace_text, report_text;
  if (!ReadFile(inputs[0], &trace_text, &error) || !ReadFile(inputs[1], &report_text, &error)) {
    return Fail(error, 2);
  }
  lumaro::tools::Truth truth;
  std::vector<lumaro::tools::Report> reports;
  if (!lumaro::tools::ParseTruth(trace_text, inputs[0], &truth, &error) ||
      !lumaro::tools::ParseReports(report_text, inputs[1], &reports, &error)) {
    return Fail(error, 2);
  }
  const lumaro::tools::Score score = lumaro::tools::ScoreReports(truth, reports);
  if (stats) {
    if (truth.fingers.empty() && score.down_points > 0) {
      return Fail(inputs[0] + ": no '# truth' lines to score the reports against", 2);
    }
    std::fputs(lumaro::tools::FormatStats(truth, score).c_str(), stdout);
    if (std::fflush(stdout) != 0) return Fail("cannot write the statistics", 1);
  }
  if (!out_path.empty()) {
    const bool written =
        lumaro::tools::WritePlotPng(out_path, BaseName(inputs[0]), truth, reports, score, &error);
    lumaro::tools::ReleaseDrawingCaches();
    if (!written) return Fail(error, 1);
  }
  return 0;
}
