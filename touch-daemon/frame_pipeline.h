// The frame path: every frame read from the device goes through one
// FramePipeline, which pairs the two half-frames of a scan, runs the engine,
// drives both slots through the filters and writes the resulting reports.
#pragma once

#include <array>
#include <cstdint>

#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "touch-daemon/device_context.h"
#include "touch-daemon/engine/engine.h"

namespace lumaro {

using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

// Bytes 0 to 63 of the latest first half-frame, kept until its partner comes.
// It outlives sessions and re-identification, like the pending flag.
inline constexpr std::size_t kFirstHalfFrameSize = 64;
using FirstHalfFrame = std::array<std::uint8_t, kFirstHalfFrameSize>;

// Frame record offsets.
inline constexpr std::size_t kFrameTypeOffset = 2;
inline constexpr std::size_t kFrameLengthOffset = 3;
inline constexpr std::size_t kFrameHalfOffset = 4;
inline constexpr std::size_t kFrameDataOffset = 5;
inline constexpr std::uint8_t kLineFrameType = 1;

// Frame markers in byte 0 of a frame.
inline constexpr std::uint8_t kRawFrameMarker = 0xA0;     // reports skip the transform
inline constexpr std::uint8_t kReinitFrameMarker = 0xA1;  // identify and set up again

// What one frame produced at each stage, for diagnostics.
struct FrameStages {
  bool Scanned;       // the frame completed a scan and the engine ran
  ScanStages Engine;  // the engine's stages of that scan
  // The pairs that left the filters, each offered as one report (the first
  // kPointListCapacity of them are kept), and the reports written.
  std::array<TouchPair, kPointListCapacity> Filtered;
  std::int32_t FilteredCount;
  std::int32_t ReportsWritten;
};

class FramePipeline {
 public:
  // Reports go out through io on ctx.fd.
  FramePipeline(DeviceContext& ctx, DeviceIo& io) : ctx_(ctx), io_(io) {}

  // Takes one frame as read from the device. Fills stages when given.
  void TakeFrame(const FrameBuffer& frame, FrameStages* stages = nullptr);

 private:
  // Runs the filter stages over the scan's two points and writes one report
  // per filtered pair.
  void FilterAndReport(const TouchPair& touches, FrameStages* stages);

  DeviceContext& ctx_;
  DeviceIo& io_;
  FirstHalfFrame first_half_{};
};

}  // namespace lumaro
