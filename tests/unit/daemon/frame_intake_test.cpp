#include "touch-daemon/frame_pipeline.h"

#include <gtest/gtest.h>

#include <memory>

#include "tools/trace_device_io.h"
#include "touch-daemon/context_setup.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

// A first half-frame whose length byte (255) claims more than its 59 stored
// bytes: those are lit runs of 2 pixels, and a shadow code just past them
// must not be read.
TEST(FrameIntakeTest, FirstHalfKeepsOnlyItsStoredData) {
  auto ctx = std::make_unique<DeviceContext>();
  ctx->MaxPoints = 2;
  SetUpCameraPipeline(*ctx);  // zero blocks: default lenses, windows 0..1280
  ctx->LensB[0] = 1;
  trace::Trace trace;
  tools::TraceDeviceIo io(&trace, nullptr);
  FramePipeline pipeline(*ctx, io);
  auto stages = std::make_unique<FrameStages>();
  FrameBuffer first{}, second{};
  for (FrameBuffer* frame : {&first, &second}) (*frame)[kFrameTypeOffset] = 1;
  first[kFrameLengthOffset] = 255;
  first[kFrameDataOffset + 59] = first[kFrameDataOffset + 60] = 0x01;
  second[kFrameLengthOffset] = 1;
  second[kFrameHalfOffset] = 1;
  pipeline.TakeFrame(first, stages.get());
  pipeline.TakeFrame(second, stages.get());
  ASSERT_TRUE(stages->Scanned);
  EXPECT_EQ(stages->Engine.Shadows[0].Count, 0);
}

}  // namespace
}  // namespace lumaro
