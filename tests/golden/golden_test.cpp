// Golden replays: each NAME.ltrace in this directory is played through the
// daemon's own loop, as lumaro-replay plays it, and everything that happens
// (the daemon's lines, the controller's side and every report, in order) must
// equal NAME.reports. With LUMARO_GOLDEN_UPDATE=1 the files are written
// instead (scripts/regen-golden).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tests/unit/captured_output.h"
#include "tools/replay.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> TraceNames() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(LUMARO_GOLDEN_DIR)) {
    if (entry.path().extension() == ".ltrace") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class GoldenReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenReplay, MatchesTheCommittedReports) {
  const fs::path base = fs::path(LUMARO_GOLDEN_DIR) / GetParam();
  trace::Trace trace;
  std::string error;
  std::string text;
  ASSERT_TRUE(cli::ReadInput(base.string() + ".ltrace", &text, &error)) << error;
  ASSERT_TRUE(trace::ParseTrace(text, &trace, &error)) << base << ": " << error;

  test_support::CapturedOutput out;
  tools::Replay(trace, {.reports = out.file(), .diagnostics = out.file(), .device = out.file()});
  const std::string actual = out.Text();

  const std::string expected_path = base.string() + ".reports";
  const char* update = std::getenv("LUMARO_GOLDEN_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    ASSERT_TRUE(cli::WriteFileAtomically(expected_path, actual, &error)) << error;
    return;
  }

  std::string expected;
  ASSERT_TRUE(cli::ReadInput(expected_path, &expected, &error))
      << error << ": run scripts/regen-golden";
  const std::vector<std::string> want = test_support::SplitLines(expected);
  const std::vector<std::string> got = out.Lines();
  std::size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  if (i == want.size() && i == got.size()) return;
  std::ostringstream diff;
  diff << GetParam() << ".reports differs first at line " << i + 1 << " (expected " << want.size()
       << " lines, replay gave " << got.size() << "):\n";
  for (std::size_t k = i >= 3 ? i - 3 : 0; k < i; ++k) diff << "    " << want[k] << "\n";
  for (std::size_t k = i; k < std::min(want.size(), i + 3); ++k) diff << "  - " << want[k] << "\n";
  for (std::size_t k = i; k < std::min(got.size(), i + 3); ++k) diff << "  + " << got[k] << "\n";
  ADD_FAILURE() << diff.str();
}

INSTANTIATE_TEST_SUITE_P(Traces, GoldenReplay, ::testing::ValuesIn(TraceNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace lumaro
