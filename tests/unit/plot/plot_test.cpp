#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/plot/plot_png.h"
#include "tools/plot/truth_score.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

// One `report` line; a slot with down 0 is lifted.
std::string ReportLine(int down0, int x0, int y0, int down1 = 0, int x1 = 0, int y1 = 0) {
  std::array<std::uint8_t, 12> bytes{};
  report::WriteContact(bytes, 0, {0, std::uint8_t(down0), std::uint16_t(x0), std::uint16_t(y0)});
  report::WriteContact(bytes, 1, {1, std::uint8_t(down1), std::uint16_t(x1), std::uint16_t(y1)});
  return "report " + trace::ToHex(bytes.data(), bytes.size()) + "\n";
}

Truth ParsedTruth(const std::string& text) {
  Truth truth;
  std::string error;
  EXPECT_TRUE(ParseTruth(text, "t", &truth, &error)) << error;
  return truth;
}

std::string TruthError(const std::string& text) {
  Truth truth;
  std::string error;
  EXPECT_FALSE(ParseTruth(text, "t.ltrace", &truth, &error));
  return error;
}

std::string ReportError(const std::string& text) {
  std::vector<Report> reports;
  std::string error;
  EXPECT_FALSE(ParseReports(text, "r.txt", &reports, &error));
  return error;
}

TEST(PlotParseTest, TruthLinesOnlyInScanOrder) {
  const Truth truth = ParsedTruth(
      "lumaro-trace 1\n# scene title\n# truthy remark 1 2\nframe 00\n"
      "# truth 3 1 -50 40000\r\n# truth 1 1 10 20\n# truth 0 0 5 6\n");
  EXPECT_EQ(truth.scan_count, 4);
  EXPECT_EQ(truth.finger_count, 2);
  ASSERT_EQ(truth.fingers.size(), 2u);
  const std::vector<TruthSample>& f1 = truth.fingers.at(1);
  ASSERT_EQ(f1.size(), 2u);
  EXPECT_EQ(f1[0].scan, 1);
  EXPECT_EQ(f1[1].scan, 3);
  EXPECT_EQ(f1[1].x, -50);
  EXPECT_EQ(f1[1].y, 40000);
}

TEST(PlotParseTest, MalformedTruthNamesFileAndLine) {
  EXPECT_EQ(TruthError("# x\n# truth 0 0 12 abc\n"), "t.ltrace:2: Y 'abc' is not an integer");
  EXPECT_EQ(TruthError("# truth 0 0 1.5 2\n"), "t.ltrace:1: X '1.5' is not an integer");
  EXPECT_EQ(TruthError("# truth 0 0 1 99999999999999999999\n"),
            "t.ltrace:1: Y '99999999999999999999' is out of range");
  EXPECT_NE(TruthError("# truth 0 0 1\n").find("t.ltrace:1: expected"), std::string::npos);
  EXPECT_NE(TruthError("# truth 0  0 1 2\n").find("t.ltrace:1: expected"), std::string::npos);
  EXPECT_NE(TruthError("# truth -1 0 1 2\n").find("must be 0.."), std::string::npos);
  EXPECT_EQ(TruthError("# truth 4 0 1 2\n# truth 4 0 1 2\n"),
            "t.ltrace:2: finger 0 already has a sample in scan 4");
}

TEST(PlotParseTest, ReportLinesFromALog) {
  std::vector<Report> reports;
  std::string error;
  const std::string text = "sim: connected\n" + ReportLine(1, 300, 65535, 0, 7, 8) +
                           "reporting stopped\n" + ReportLine(0, 0, 0);
  ASSERT_TRUE(ParseReports(text, "r", &reports, &error)) << error;
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0][0].down, 1);
  EXPECT_EQ(reports[0][0].x, 300);
  EXPECT_EQ(reports[0][0].y, 65535);
  EXPECT_EQ(reports[0][1].slot, 1);
  EXPECT_EQ(reports[0][1].x, 7);
  EXPECT_EQ(reports[1][0].down, 0);
}

TEST(PlotParseTest, MalformedReportsNameFileAndLine) {
  EXPECT_EQ(ReportError("x\nreport 0001\n"), "r.txt:2: a report is 24 hex digits, not '0001'");
  EXPECT_NE(ReportError("report 0001ab12cd34010000000zz0\n").find("r.txt:1: a report is 24"),
            std::string::npos);
  EXPECT_NE(ReportError("report 0001ab12cd34010000000000 \n").find("r.txt:1:"), std::string::npos);
  EXPECT_EQ(ReportError("report 0001ab12cd34000000000000\n"),
            "r.txt:1: record 1 carries slot number 0");
  EXPECT_EQ(ReportError("report 0002ab12cd34010000000000\n"),
            "r.txt:1: slot 0 has down flag 2, neither 0 nor 1");
}

TEST(PlotScoreTest, DistanceToSegment) {
  EXPECT_DOUBLE_EQ(DistanceToSegment({0, 9}, {1, 2}, {7, 10}), 5);    // beside the segment
  EXPECT_DOUBLE_EQ(DistanceToSegment({-3, 4}, {0, 0}, {10, 0}), 5);   // past end a
  EXPECT_DOUBLE_EQ(DistanceToSegment({13, -4}, {0, 0}, {10, 0}), 5);  // past end b
  EXPECT_DOUBLE_EQ(DistanceToSegment({3, 4}, {0, 0}, {0, 0}), 5);     // a point
}

TEST(PlotScoreTest, NearestFingerFollowsPathsAndTheirGaps) {
  // Finger 0 is absent in scan 1: (0,0) and (100,0) are not joined.
  // Finger 1 runs from (0,100) to (100,100) through consecutive scans.
  const Truth truth = ParsedTruth(
      "# truth 0 0 0 0\n# truth 2 0 100 0\n"
      "# truth 0 1 0 100\n# truth 1 1 100 100\n");
  Nearest n = NearestFinger(truth, {50, 40});  // 40 from finger 0 were its gap joined
  EXPECT_EQ(n.finger, 1);
  EXPECT_NEAR(n.distance, 60, 1e-9);
  n = NearestFinger(truth, {50, 0});
  EXPECT_EQ(n.finger, 0);
  EXPECT_NEAR(n.distance, 50, 1e-9);
  n = NearestFinger(truth, {0, 50});  // equally far from both: the lower index
  EXPECT_EQ(n.finger, 0);
  EXPECT_EQ(NearestFinger(Truth{}, {0, 0}).finger, -1);
}

TEST(PlotScoreTest, ScoreAndStats) {
  // Finger 0 along y = 0, finger 1 along y = 1000, both x 0..1000.
  const Truth truth = ParsedTruth(
      "# truth 0 0 0 0\n# truth 1 0 1000 0\n# truth 0 1 0 1000\n# truth 1 1 1000 1000\n");
  std::vector<Report> reports;
  std::string error;
  ASSERT_TRUE(ParseReports(ReportLine(1, 100, 30, 1, 200, 960) +  // slot 0: f0, slot 1: f1
                               ReportLine(0, 0, 0) +              // a lift
                               ReportLine(1, 500, 900) +          // slot 0 switches to f1
                               ReportLine(1, 600, 10) +           // and back to f0
                               ReportLine(0, 0, 0, 1, 400, 1000),
                           "r", &reports, &error))
      << error;
  const Score score = ScoreReports(truth, reports);
  EXPECT_EQ(score.reports, 5u);
  EXPECT_EQ(score.down_points, 5u);
  EXPECT_EQ(score.lifts, 1u);
  EXPECT_DOUBLE_EQ(score.max_error, 100);
  EXPECT_DOUBLE_EQ(score.mean_error, (30 + 40 + 100 + 10 + 0) / 5.0);
  EXPECT_EQ(FormatStats(truth, score),
            "reports 5\ndown-points 5\nlifts 1\nmean-error 36.0\nmax-error 100.0\n"
            "slot 0 finger 0 switches 2\nslot 1 finger 1 switches 0\nscans 2 fingers 2\n");

  EXPECT_EQ(LegendLabels(score),
            (std::array<std::string, 3>{"truth", "slot 0 (finger 0, 2 switches)",
                                        "slot 1 (finger 1, 0 switches)"}));

  const Score none = ScoreReports(truth, {});
  EXPECT_EQ(LegendLabels(none)[1], "slot 0");
  // Without truth: the counts only, no errors shown as 0.
  EXPECT_EQ(FormatStats(Truth{}, none), "reports 0\ndown-points 0\nlifts 0\nno truth\n");
}

// The longest horizontal run of the truth's grey in a PNG file.
int LongestTruthRun(const std::string& png) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  const int width = cairo_image_surface_get_width(image);
  const int stride = cairo_image_surface_get_stride(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  int longest = 0;
  for (int y = 0; data != nullptr && y < cairo_image_surface_get_height(image); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0, run = 0; x < width; ++x) {
      const int r = (row[x] >> 16) & 0xff, g = (row[x] >> 8) & 0xff, b = row[x] & 0xff;
      run = r < 160 && r == g && g == b ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  }
  cairo_surface_destroy(image);
  return longest;
}

TEST(PlotPngTest, WritesAPngOrSaysWhyNot) {
  std::string dir_template = (std::filesystem::temp_directory_path() / "plot_test_XXXXXX").string();
  ASSERT_NE(mkdtemp(dir_template.data()), nullptr);
  const std::filesystem::path dir = dir_template;
  std::vector<Report> reports;
  std::string error;
  ASSERT_TRUE(ParseReports(ReportLine(1, 1100, 900) + ReportLine(0, 0, 0), "r", &reports, &error));
  // A true path across the report space is drawn as one line of a PNG.
  const Truth across = ParsedTruth("# truth 0 0 0 16000\n# truth 1 0 32767 16000\n");
  const Score score = ScoreReports(across, reports);
  const std::string png = (dir / "out.png").string();
  ASSERT_TRUE(WritePlotPng(png, "t", across, reports, score, &error)) << error;
  EXPECT_GT(LongestTruthRun(png), 800);

  const std::string unwritable = (dir / "missing" / "out.png").string();
  EXPECT_FALSE(WritePlotPng(unwritable, "t.ltrace", across, reports, score, &error));
  EXPECT_NE(error.find(unwritable), std::string::npos);
  std::filesystem::remove_all(dir);
  ReleaseDrawingCaches();
}

}  // namespace
}  // namespace lumaro::tools
