#include "tools/plot/truth_score.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>
#include <tuple>

#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

constexpr std::string_view kTruthTag = "# truth";
constexpr std::int64_t kMaxIndex = INT32_MAX;
constexpr std::size_t kReportHexDigits = 2 * kReportSlots * kReportContactSize;

// Calls visit(line_number, line) for every line, without its line ending;
// stops at the first visit that returns false.
template <typename Visit>
bool ForEachLine(std::string_view text, Visit visit) {
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(number, line)) return false;
  }
  return true;
}

std::vector<std::string_view> SplitSpaces(std::string_view line) {
  std::vector<std::string_view> fields;
  while (true) {
    const std::size_t space = line.find(' ');
    fields.push_back(line.substr(0, space));
    if (space == std::string_view::npos) return fields;
    line.remove_prefix(space + 1);
  }
}

// A quoted excerpt of untrusted text for an error message.
std::string Quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  return std::string("'").append(text.substr(0, kMax)) + (text.size() > kMax ? "...'" : "'");
}

// Parses a decimal integer; on failure returns why.
std::string ParseInteger(std::string_view field, std::string_view what, std::int64_t* out) {
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, *out);
  if (ec == std::errc::result_out_of_range) {
    return std::string(what) + " " + Quote(field) + " is out of range";
  }
  if (field.empty() || ec != std::errc() || ptr != end) {
    return std::string(what) + " " + Quote(field) + " is not an integer";
  }
  return {};
}

double Distance(Point p, Point a) {
  return std::hypot(p.x - a.x, p.y - a.y);
}

}  // namespace

bool ParseTruth(std::string_view text, const std::string& name, Truth* out, std::string* error) {
  *out = Truth{};
  std::string reason;
  std::size_t failed_line = 0;
  const bool ok = ForEachLine(text, [&](std::size_t number, std::string_view line) {
    if (!line.starts_with(kTruthTag)) return true;
    if (line.size() > kTruthTag.size() && line[kTruthTag.size()] != ' ') return true;  // "# truthy"
    failed_line = number;
    const std::vector<std::string_view> fields = SplitSpaces(line);
    if (fields.size() != 6 ||
        std::any_of(fields.begin(), fields.end(), [](std::string_view f) { return f.empty(); })) {
      reason = "expected '# truth SCAN FINGER X Y', one space apart";
      return false;
    }
    std::int64_t scan = 0, finger = 0, x = 0, y = 0;
    for (const auto& [field, what, value] :
         {std::tuple{fields[2], "SCAN", &scan}, std::tuple{fields[3], "FINGER", &finger},
          std::tuple{fields[4], "X", &x}, std::tuple{fields[5], "Y", &y}}) {
      reason = ParseInteger(field, what, value);
      if (!reason.empty()) return false;
    }
    if (scan < 0 || scan > kMaxIndex || finger < 0 || finger > kMaxIndex) {
      reason = "SCAN and FINGER must be 0.." + std::to_string(kMaxIndex);
      return false;
    }
    std::vector<TruthSample>& samples = out->fingers[finger];
    const auto at =
        std::lower_bound(samples.begin(), samples.end(), scan,
                         [](const TruthSample& s, std::int64_t value) { return s.scan < value; });
    if (at != samples.end() && at->scan == scan) {
      reason = "finger " + std::to_string(finger) + " already has a sample in scan " +
               std::to_string(scan);
      return false;
    }
    samples.insert(at, {scan, static_cast<double>(x), static_cast<double>(y)});
    out->scan_count = std::max(out->scan_count, scan + 1);
    out->finger_count = std::max(out->finger_count, finger + 1);
    return true;
  });
  if (!ok) *error = name + ":" + std::to_string(failed_line) + ": " + reason;
  return ok;
}

bool ParseReports(std::string_view text, const std::string& name, std::vector<Report>* out,
                  std::string* error) {
  out->clear();
  std::string reason;
  std::size_t failed_line = 0;
  std::vector<std::uint8_t> bytes;
  const bool ok = ForEachLine(text, [&](std::size_t number, std::string_view line) {
    if (!trace::IsReportLine(line)) return true;
    failed_line = number;
    if (!trace::ParseReportLine(line, &bytes) || bytes.size() * 2 != kReportHexDigits) {
      reason = "a report is " + std::to_string(kReportHexDigits) + " hex digits, not " +
               Quote(trace::ReportLineHex(line));
      return false;
    }
    Report report{};
    for (std::size_t i = 0; i < kReportSlots; ++i) {
      report::ReadContact(std::span<const std::uint8_t>(bytes), i, &report[i]);
      if (report[i].slot != i) {
        reason = "record " + std::to_string(i) + " carries slot number " +
                 std::to_string(report[i].slot);
        return false;
      }
      if (report[i].down > 1) {
        reason = "slot " + std::to_string(i) + " has down flag " + std::to_string(report[i].down) +
                 ", neither 0 nor 1";
        return false;
      }
    }
    out->push_back(report);
    return true;
  });
  if (!ok) *error = name + ":" + std::to_string(failed_line) + ": " + reason;
  return ok;
}

double DistanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  if (length2 == 0) return Distance(p, a);
  const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0);
  return Distance(p, {a.x + t * dx, a.y + t * dy});
}

Nearest NearestFinger(const Truth& truth, Point p) {
  Nearest best;
  for (const auto& [finger, samples] : truth.fingers) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const Point a{samples[i].x, samples[i].y};
      double d = Distance(p, a);
      if (i + 1 < samples.size() && samples[i + 1].scan == samples[i].scan + 1) {
        d = std::min(d, DistanceToSegment(p, a, {samples[i + 1].x, samples[i + 1].y}));
      }
      if (best.finger < 0 || d < best.distance) best = {finger, d};
    }
  }
  return best;
}

Score ScoreReports(const Truth& truth, const std::vector<Report>& reports) {
  Score score;
  score.reports = reports.size();
  std::array<std::int64_t, kReportSlots> last_finger{};
  double error_sum = 0;
  for (const Report& report : reports) {
    bool any_down = false;
    for (std::size_t s = 0; s < kReportSlots; ++s) {
      if (report[s].down != 1) continue;
      any_down = true;
      ++score.down_points;
      const Nearest nearest = NearestFinger(
          truth, {static_cast<double>(report[s].x), static_cast<double>(report[s].y)});
      error_sum += nearest.distance;
      score.max_error = std::max(score.max_error, nearest.distance);
      SlotScore& slot = score.slots[s];
      if (!slot.any_down) {
        slot.any_down = true;
        slot.first_finger = nearest.finger;
      } else if (nearest.finger != last_finger[s]) {
        ++slot.switches;
      }
      last_finger[s] = nearest.finger;
    }
    if (!any_down) ++score.lifts;
  }
  if (score.down_points > 0) score.mean_error = error_sum / static_cast<double>(score.down_points);
  return score;
}

std::string FormatStats(const Truth& truth, const Score& score) {
  std::string text = "reports " + std::to_string(score.reports) + "\ndown-points " +
                     std::to_string(score.down_points) + "\nlifts " + std::to_string(score.lifts) +
                     "\n";
  // Without truth there is nothing to measure the reports against: the
  // figures that need it are left out rather than shown as 0.
  if (truth.fingers.empty()) return text + "no truth\n";
  char errors[128];
  std::snprintf(errors, sizeof errors, "mean-error %.1f\nmax-error %.1f\n", score.mean_error,
                score.max_error);
  text += errors;
  for (std::size_t s = 0; s < kReportSlots; ++s) {
    const SlotScore& slot = score.slots[s];
    if (!slot.any_down || slot.first_finger < 0) continue;
    text += "slot " + std::to_string(s) + " finger " + std::to_string(slot.first_finger) +
            " switches " + std::to_string(slot.switches) + "\n";
  }
  text += "scans " + std::to_string(truth.scan_count) + " fingers " +
          std::to_string(truth.finger_count) + "\n";
  return text;
}

}  // namespace lumaro::tools
