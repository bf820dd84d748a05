// Golden replays: each NAME.ltrace in this directory is played through the
// daemon's own loop, as lumaro-replay plays it, and everything that happens
// (the daemon's lines, the controller's side and every report, in order) must
// equal NAME.reports. With LUMARO_GOLDEN_UPDATE=1 the files are written
// instead (scripts/regen-golden).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
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

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class GoldenReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenReplay, MatchesTheCommittedReports) {
  const fs::path base = fs::path(LUMARO_GOLDEN_DIR) / GetParam();
  trace::Trace trace;
  std::string error;
  std::string text;
  ASSERT_TRUE(cli::ReadInput(base.string() + ".ltrace", &text, &error)) << error;
  ASSERT_TRUE(trace::ParseTrace(text, &trace, &error)) << base << ": " << error;

  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  ASSERT_NE(out, nullptr);
  tools::Replay(trace, {.reports = out, .diagnostics = out, .device = out});
  ASSERT_EQ(std::fclose(out), 0);
  const std::string actual(buffer, size);
  std::free(buffer);

  const std::string expected_path = base.string() + ".reports";
  const char* update = std::getenv("LUMARO_GOLDEN_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    const std::string temp = expected_path + ".tmp";
    std::ofstream file(temp, std::ios::binary);
    file << actual;
    file.close();
    ASSERT_TRUE(file.good()) << "cannot write " << temp;
    fs::rename(temp, expected_path);
    return;
  }

  std::string expected;
  ASSERT_TRUE(cli::ReadInput(expected_path, &expected, &error))
      << error << ": run scripts/regen-golden";
  const std::vector<std::string> want = SplitLines(expected);
  const std::vector<std::string> got = SplitLines(actual);
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
