#include "touch-daemon/frame_pipeline.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tools/trace_device_io.h"
#include "touch-daemon/context_setup.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

// Line images: {0x00, 0x01, 0x0C} is one shadow {2, 4}; {0x0A, 0x03} one
// shadow {12, 16}.
const std::vector<std::uint8_t> kShadowAt2 = {0x00, 0x01, 0x0C};
const std::vector<std::uint8_t> kShadowAt12 = {0x0A, 0x03};

FrameBuffer HalfFrame(std::uint8_t half, const std::vector<std::uint8_t>& image,
                      std::uint8_t type = 1) {
  FrameBuffer frame{};
  frame[kFrameTypeOffset] = type;
  frame[kFrameLengthOffset] = static_cast<std::uint8_t>(image.size() + 1);
  frame[kFrameHalfOffset] = half;
  std::copy(image.begin(), image.end(), frame.begin() + kFrameDataOffset);
  return frame;
}

class FrameIntakeTest : public ::testing::Test {
 protected:
  FrameIntakeTest() {
    ctx_->MaxPoints = 2;
    SetUpCameraPipeline(*ctx_);  // zero blocks: default lenses, windows 0..1280
  }
  void Feed(const FrameBuffer& frame) {
    pipeline_.TakeFrame(frame, stages_.get());
    ran_ = ran_ || stages_->Scanned;
  }
  ShadowSpan FirstShadowA() const { return stages_->Engine.Shadows[0].Spans[0]; }
  bool EngineRan() const { return ran_; }

  std::unique_ptr<DeviceContext> ctx_ = std::make_unique<DeviceContext>();
  trace::Trace trace_;
  tools::TraceDeviceIo io_{&trace_, nullptr};
  FramePipeline pipeline_{*ctx_, io_};
  std::unique_ptr<FrameStages> stages_ = std::make_unique<FrameStages>();
  bool ran_ = false;
};

TEST_F(FrameIntakeTest, FirstHalfKeepsOnlyItsStoredData) {
  // A length byte of 255 claims more than the 59 stored bytes. Those 59 are
  // lit runs of 2 pixels; a shadow code just past them must not be read.
  ctx_->LensB[0] = 1;
  std::vector<std::uint8_t> image(59, 0x00);
  image.push_back(0x01);
  image.push_back(0x01);
  FrameBuffer first = HalfFrame(0, image);
  first[kFrameLengthOffset] = 255;
  Feed(first);
  Feed(HalfFrame(1, {}));
  ASSERT_TRUE(EngineRan());
  EXPECT_EQ(stages_->Engine.Shadows[0].Count, 0);
}

}  // namespace
}  // namespace lumaro
