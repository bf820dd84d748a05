// tapalign-classic's process-wide record. The node's descriptor is kept once,
// in the ClassicChannel that every request goes through.
#pragma once

#include <array>
#include <cstdint>

#include "classic-calibration-tool/classic_fit.h"
#include "classic-calibration-tool/classic_layout.h"
#include "classic-calibration-tool/command_channel.h"
#include "driver-interface/blocks.h"

namespace lumaro {

struct ClassicContext {
  std::int32_t point_index;    // next point to take, 0 to 3; 4 on the result face
  std::int32_t contact_taken;  // 1 once a contact gave a point, 0 after a release
  std::int32_t point_count;    // points handed to the fit: 4
  std::array<ClassicPoint, kClassicPoints> targets;             // screen positions in raw units
  std::array<ClassicPoint, kClassicPoints> touches;             // raw positions taken
  classic_calib::Block calib;                                   // fit result and calibration state
  classic_event::Block event;                                   // the latest CLASSIC_TOUCH_READ
  std::array<std::uint8_t, classic_calib::kSpanSize> raw_span;  // main record bytes 41 to 56
  std::uint8_t fit_type;
  ControllerConfig config;
  classic_record::Main saved_main;  // the main record as read at start-up
};

// The raw span's value i: x start, x end, y start, y end.
inline float RawSpanValue(const ClassicContext& c, int i) {
  return GetAt<float>(c.raw_span, 4 * static_cast<std::size_t>(i));
}

}  // namespace lumaro
