#include "touch-daemon/frame_pipeline.h"
#include "touch-daemon/report_output.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "driver-interface/blocks.h"
#include "driver-interface/identity.h"
#include "tests/unit/captured_output.h"
#include "tools/trace_device_io.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

using ::testing::ElementsAre;

// A 58-byte block whose first byte is `first` (0 to 9), the rest zero.
std::string Block(unsigned long code, int first) {
  return "block " + std::to_string(code) + " 0" + std::to_string(first) + std::string(114, '0') +
         "\n";
}

struct Controller {
  explicit Controller(const std::string& records) {
    std::string error;
    EXPECT_TRUE(trace::ParseTrace("lumaro-trace 1\n" + records, &trace, &error)) << error;
    fd = io.Open(kTouchNodePath, O_RDWR);
  }
  // The requests the controller saw, as "code result".
  std::vector<std::string> Requests() {
    std::vector<std::string> out;
    for (const std::string& line : log.Lines()) out.push_back(line.substr(6));  // "ioctl "
    return out;
  }
  trace::Trace trace;
  test_support::CapturedOutput log;
  tools::TraceDeviceIo io{&trace, nullptr, log.file()};
  int fd = -1;
};

TEST(IdentifyTest, StopsAtTheFirstFailureAndKeepsWhatWasNotAnswered) {
  Controller first("product 0x0c20\n" + Block(GET_GEOMETRY, 5) + Block(GET_LENS_A, 7));
  const ControllerIdentity before = Identify(first.io, first.fd, ControllerIdentity{});
  EXPECT_TRUE(before.Complete());
  EXPECT_EQ(before.Geometry()[0], 5);

  Controller second("product 0x0c20\n" + Block(GET_CALIB_PARA_X, 9) + "fail 206\n" +
                    Block(GET_GEOMETRY, 6));
  const ControllerIdentity after = Identify(second.io, second.fd, before);
  EXPECT_THAT(second.Requests(), ElementsAre("202 0", "195 0", "196 0", "206 -1"));
  EXPECT_FALSE(after.Complete());
  EXPECT_TRUE(after.Failed(GET_DEVICE_CONFIG));
  EXPECT_FALSE(after.Failed(GET_GEOMETRY));  // never asked
  EXPECT_EQ(after.CalibX()[0], 9);           // answered before the failure
  EXPECT_EQ(after.Geometry()[0], 5);         // kept from before
  EXPECT_EQ(after.LensA()[0], 7);
}

TEST(IdentifyTest, OtherProductsAreNotAskedForCameraBlocksUnlessEveryRequestIs) {
  Controller other("product 0x0a10\nfail 195\nfail 241\n");
  const ControllerIdentity daemon = Identify(other.io, other.fd, ControllerIdentity{});
  EXPECT_THAT(other.Requests(), ElementsAre("202 0", "201 0"));
  EXPECT_TRUE(daemon.Complete());
  EXPECT_FALSE(daemon.IsCamera());

  Controller every("product 0x0a10\nfail 195\nfail 241\n");
  const ControllerIdentity all =
      Identify(every.io, every.fd, ControllerIdentity{}, IdentifyMode::kEveryRequest);
  EXPECT_EQ(every.Requests().size(), kIdentificationRequests.size());
  EXPECT_TRUE(all.Failed(GET_CALIB_PARA_X));
  EXPECT_TRUE(all.Failed(GET_LENS_B));
  EXPECT_FALSE(all.Failed(GET_LENS_A));
}

FrameBuffer LineFrame(std::uint8_t half, std::uint8_t length = 1) {
  FrameBuffer frame{};
  frame[kFrameTypeOffset] = kLineFrameType;
  frame[kFrameLengthOffset] = length;
  frame[kFrameHalfOffset] = half;
  return frame;
}

TEST(FramePipelineTest, DropsAreNamedAndOnlyAPairScans) {
  auto pipeline = std::make_unique<FramePipeline>();
  FrameBuffer other = LineFrame(0);
  other[kFrameTypeOffset] = 2;
  EXPECT_EQ(pipeline->TakeFrame(other).drop, FrameDrop::kNotALineFrame);
  EXPECT_EQ(pipeline->TakeFrame(LineFrame(1)).drop, FrameDrop::kSecondHalfAlone);
  EXPECT_EQ(pipeline->TakeFrame(LineFrame(2)).drop, FrameDrop::kUnknownHalf);
  EXPECT_EQ(pipeline->TakeFrame(LineFrame(0)).drop, FrameDrop::kNone);
  EXPECT_EQ(pipeline->TakeFrame(LineFrame(0)).drop, FrameDrop::kFirstHalfReplaced);
  const FrameResult& scan = pipeline->TakeFrame(LineFrame(1));
  EXPECT_EQ(scan.drop, FrameDrop::kNone);
  EXPECT_TRUE(scan.scanned);
  EXPECT_FALSE(scan.has_stages);        // not asked for
  EXPECT_TRUE(scan.Reports().empty());  // never set up: no point arrays
  EXPECT_FALSE(pipeline->TakeFrame(LineFrame(1)).scanned);
}

// A first half-frame whose length byte (255) claims more than its 59 stored
// bytes: those are lit runs of 2 pixels, and a shadow code just past them
// must not be read.
TEST(FramePipelineTest, FirstHalfKeepsOnlyItsStoredData) {
  Controller controller("product 0x0c20\n" + Block(GET_LENS_B, 1));  // camera A comes first
  auto pipeline = std::make_unique<FramePipeline>();
  EXPECT_EQ(pipeline->SetUp(Identify(controller.io, controller.fd, ControllerIdentity{})),
            PointAllocation::kReady);
  FrameBuffer first = LineFrame(0, 255);
  first[kFrameDataOffset + 59] = first[kFrameDataOffset + 60] = 0x01;
  pipeline->TakeFrame(first);
  const FrameResult& result = pipeline->TakeFrame(LineFrame(1), StageDetail::kWithStages);
  ASSERT_TRUE(result.has_stages);
  EXPECT_EQ(result.stages.engine.Shadows[0].Count, 0);
}

// What the golden replays never reach: negative coordinates are sent as 0,
// and a polynomial that overflows int32 saturates instead of being undefined.
TEST(ReportOutputTest, NegativeCoordinatesAndOverflowingPolynomials) {
  const std::array<TouchPoint, 2> now = {{{40000, 32767, 0, 1}, {-5, -40000, 0, 1}}};
  std::array<TouchPoint, 2> last{};
  ReportBytes out{};
  ASSERT_TRUE(BuildReport(IdentityTransform(), false, now, last, out));
  EXPECT_EQ(trace::ToHex(out.data(), out.size()), "0001ff7fff7f010100000000");
  CalibTransform t = IdentityTransform();
  calib::SetCoefficient(t.XPart, 3, 1e30f);
  EXPECT_EQ(ApplyTransform(t, 30000, 0).X, INT32_MAX);
}

}  // namespace
}  // namespace lumaro
