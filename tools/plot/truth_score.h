// Ground truth and reported touch paths, and how far the reports stray from
// the truth: the parsing and scoring behind lumaro-plot, free of any drawing.
//
// Truth comes from a scene trace's `# truth SCAN FINGER X Y` comment lines;
// reports from `report <hex>` lines (lumaro-replay output or a simulator log).
// All coordinates are report units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "driver-interface/blocks.h"

namespace lumaro::tools {

inline constexpr std::size_t kReportSlots = 2;

struct TruthSample {
  std::int64_t scan = 0;
  double x = 0;
  double y = 0;
};

struct Truth {
  // Each finger's samples in ascending scan order. Samples of consecutive
  // scans are joined into a path; a missing scan breaks it.
  std::map<std::int64_t, std::vector<TruthSample>> fingers;
  std::int64_t scan_count = 0;    // highest scan index + 1
  std::int64_t finger_count = 0;  // highest finger index + 1
};

using Report = std::array<report::Contact, kReportSlots>;

// Parses the `# truth` lines of a trace and ignores every other line. On
// failure returns false and sets *error to "NAME:LINE: what is wrong".
bool ParseTruth(std::string_view text, const std::string& name, Truth* out, std::string* error);

// Parses the `report ` lines of a report listing and ignores every other line.
// Each report must be 12 bytes whose records carry slot numbers 0 and 1 and
// down flags 0 or 1. Errors as for ParseTruth.
bool ParseReports(std::string_view text, const std::string& name, std::vector<Report>* out,
                  std::string* error);

struct Point {
  double x = 0;
  double y = 0;
};

// Distance from p to the segment a-b (to a itself when a == b).
double DistanceToSegment(Point p, Point a, Point b);

struct Nearest {
  std::int64_t finger = -1;  // -1 when the truth has no samples
  double distance = 0;
};

// The finger whose path passes nearest to p; the lowest index wins a tie.
Nearest NearestFinger(const Truth& truth, Point p);

struct SlotScore {
  bool any_down = false;
  std::int64_t first_finger = -1;  // nearest finger of the slot's first down record
  std::size_t switches = 0;        // changes of nearest finger between its down records
};

struct Score {
  std::size_t reports = 0;
  std::size_t down_points = 0;
  std::size_t lifts = 0;  // reports with no slot down
  double mean_error = 0;
  double max_error = 0;
  std::array<SlotScore, kReportSlots> slots{};
};

// Scores every down record against the truth. The truth must have samples
// when any record is down; otherwise the errors are meaningless.
Score ScoreReports(const Truth& truth, const std::vector<Report>& reports);

// The --stats listing, one item per line. Without truth only the counts,
// and the line "no truth".
std::string FormatStats(const Truth& truth, const Score& score);

}  // namespace lumaro::tools
