// The debugging picture of lumaro-plot: true finger paths in grey, each
// slot's reported path in its own colour, on the report space.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/plot/drawing.h"
#include "tools/plot/truth_score.h"

namespace lumaro::tools {

// The legend's labels: the truth's, then each slot's, with the finger it
// first followed and how often it switched fingers when the score knows them.
std::array<std::string, 3> LegendLabels(const Score& score);

// Draws the truth and the reports into a PNG at `path`; the title names
// `trace_name` and the score. False, with *error set, when the picture cannot
// be drawn or written.
bool WritePlotPng(const std::string& path, const std::string& trace_name, const Truth& truth,
                  const std::vector<Report>& reports, const Score& score, std::string* error);

}  // namespace lumaro::tools
