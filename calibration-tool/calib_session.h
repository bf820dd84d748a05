// tapalign's process-wide session record and contact counters.
#pragma once

#include <array>
#include <cstdint>

#include "driver-interface/blocks.h"

namespace lumaro {

inline constexpr int kMaxCalibPoints = 25;  // array capacity; a pass uses at most 16
inline constexpr std::int32_t kBasicPoints = 4;
inline constexpr std::int32_t kAdvancedPoints = 16;

struct CalibSession {
  std::int32_t fd;                             // descriptor of /dev/lumaro
  std::uint8_t touching;                       // 1 while a contact is down
  std::int32_t count;                          // points collected in the current pass
  std::int32_t required;                       // points per pass: 4, or 16 in advanced mode
  std::array<float, kMaxCalibPoints> targetX;  // 1/32768 of the screen width
  std::array<float, kMaxCalibPoints> targetY;  // 1/32768 of the screen height
  std::array<float, kMaxCalibPoints> rawX;     // raw controller position of each point
  std::array<float, kMaxCalibPoints> rawY;
  ParamBlock CalibX;  // live coefficient blocks
  ParamBlock CalibY;
  ParamBlock savedCalibX;  // as read at session start
  ParamBlock savedCalibY;
  ParamBlock DeviceConfig;          // live configuration block
  ParamBlock savedConfig;           // as read at session start
  touch_packet::Block packet;       // the latest GET_TOUCH_PACKET
  std::uint8_t advanced;            // 1 in 16-point mode
  touch_packet::Block firstPacket;  // first packet of the current contact: its reference position
};

// Which start-up reads delivered their block. Blocks that were never read are
// never written back to the controller.
struct ReadStatus {
  bool calib_x = false;
  bool calib_y = false;
  bool device_config = false;
  bool All() const { return calib_x && calib_y && device_config; }
};

// Per-contact sampling state and the 16-point grid position.
struct ContactCounters {
  std::int32_t packet_count = 0;  // steady packets of the current contact, 0 to 100
  std::uint8_t accepted = 0;      // the contact reached its 101st steady packet
  std::uint8_t moved = 0;         // the contact strayed from its reference position
  std::int32_t grid_col = 0;
  std::int32_t grid_row = 0;
};

}  // namespace lumaro
