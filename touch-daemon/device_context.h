// The daemon's one context record: descriptor, parameter blocks, engine and
// filter state. Allocated zero-filled once per process and never freed; only
// the two point arrays come and go with each device session.
#pragma once

#include <array>
#include <cstdint>

#include "driver-interface/blocks.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/engine/engine.h"
#include "touch-daemon/tap_filter.h"
#include "touch-daemon/touch_point.h"

namespace lumaro {

// Contacts per report.
inline constexpr std::int32_t kReportContacts = 2;

using PointList = std::array<TouchPoint, kPointListCapacity>;

struct DeviceContext {
  std::int32_t fd;             // device descriptor; -1 after a failed open or session
  DeviceInfoBlock DeviceInfo;  // GET_DEVICE_INFO
  TouchPoint* pPoints;         // MaxPoints contacts of the report being built
  TouchPoint* pLastPoint;      // MaxPoints contacts of the last report written
  std::uint32_t ProductID;     // GET_PRODUCT_ID
  Engine engine;
  ParamBlock LensB;          // GET_LENS_B
  ParamBlock LensA;          // GET_LENS_A
  ParamBlock Geometry;       // GET_GEOMETRY
  TapFilterState TapFilter;  // stage 1 of slot 0
  CurveQueue Stage1Curve;    // stage 1 of slot 1
  CurveQueue Stage2Curve0;   // stage 2 of slot 0
  CurveQueue Stage2Curve1;   // stage 2 of slot 1
  PointList Stage1Slot0;
  PointList Stage1Slot1;
  PointList Stage2Slot0;
  PointList Stage2Slot1;
  std::uint8_t HalfFramePending;  // 1 while a first half-frame waits for its partner
  std::int32_t MaxPoints;         // contacts per report, set by DeviceInit
  std::uint8_t RawMode;           // 1 while the latest frame began with 0xA0
  ParamBlock CalibX;              // GET_CALIB_PARA_X
  ParamBlock CalibY;              // GET_CALIB_PARA_Y
  CalibTransform Transform;       // applied to every report unless RawMode
  ParamBlock DeviceConfig;        // GET_DEVICE_CONFIG
};

// Reports need both point arrays; after a failed allocation there are none
// until a later DeviceInit succeeds.
inline bool HasPointArrays(const DeviceContext& ctx) {
  return ctx.pPoints != nullptr && ctx.pLastPoint != nullptr;
}

}  // namespace lumaro
