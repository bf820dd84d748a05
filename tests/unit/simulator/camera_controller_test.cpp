#include "simulator/camera_controller.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro::sim {
namespace {

// A controller over a trace, with its log captured in memory.
class ControllerTest : public ::testing::Test {
 protected:
  void Load(const std::string& text, double packet_rate = 200.0) {
    std::string error;
    ASSERT_TRUE(trace::ParseTrace(text, &trace_, &error)) << error;
    controller_ = std::make_unique<CameraController>(&trace_, &log_, packet_rate);
  }
  std::string LogText() { return captured_log_.Text(); }

  test_support::CapturedOutput captured_log_;
  SimLog log_{captured_log_.file()};
  trace::Trace trace_;
  std::unique_ptr<CameraController> controller_;
};

// A changed calibration marks the next frame 0xA1, so that a reader
// identifies again; a SET that changes nothing, and later frames, keep theirs.
TEST_F(ControllerTest, ChangedCalibrationMarksTheNextFrameForIdentification) {
  std::string frames;
  for (int i = 0; i < 5; ++i) frames += "frame 00010203\n";
  Load("lumaro-trace 1\n" + frames);
  controller_->OnOpen();
  std::vector<std::uint8_t> block(58, 0);
  auto first_byte = [&] { return controller_->NextRead().bytes.at(0); };
  controller_->Request(SET_CALIB_PARA_X, block);  // the same zeros: no change
  EXPECT_EQ(first_byte(), 0x00);
  block[3] = 7;
  block[10] = 1;  // CalibState
  controller_->Request(SET_CALIB_PARA_Y, block);
  controller_->Request(SET_DEVICE_CONFIG, block);
  EXPECT_EQ(first_byte(), kReinitFrameMarker);  // one mark for both changes
  EXPECT_EQ(first_byte(), 0x00);
  std::vector<std::uint8_t> flag{1};
  controller_->Request(DEVICE_RESET, flag);  // clears CalibState: a change
  EXPECT_EQ(first_byte(), kReinitFrameMarker);
  controller_->Request(DEVICE_RESET, flag);  // already clear
  EXPECT_EQ(first_byte(), 0x00);
  EXPECT_NE(LogText().find("frame marked for identification"), std::string::npos);
}

TEST_F(ControllerTest, PacketStreamUnplugsAndEnds) {
  Load(
      "lumaro-trace 1\n"
      "packet 000700000000\n"
      "wait 50\nproduct 0x0c21\nunplug\nwait 100\nproduct 0x0c22\nplug\n"
      "packet 000701000100\n",
      100.0);
  EXPECT_EQ(controller_->NextPacket(0).kind, PacketStep::Kind::kPacket);
  // The unplug is due like a packet, and applies the records above it.
  EXPECT_EQ(controller_->NextPacket(0).due_us, 60'000);
  const PacketStep unplug = controller_->NextPacket(60'000);
  EXPECT_EQ(unplug.kind, PacketStep::Kind::kUnplug);
  EXPECT_EQ(unplug.error, ENODEV);
  EXPECT_EQ(controller_->State().product_id, 0x0c21u);
  EXPECT_EQ(controller_->NextUnplugged().kind, UnpluggedStep::Kind::kWait);
  EXPECT_EQ(controller_->NextUnplugged().kind, UnpluggedStep::Kind::kPlug);
  // After the plug the first packet is due at once again.
  EXPECT_EQ(controller_->NextPacket(900'000).kind, PacketStep::Kind::kPacket);
  // The end is due one period later; from then on every request fails.
  EXPECT_EQ(controller_->NextPacket(900'000).kind, PacketStep::Kind::kNotDue);
  for (int i = 0; i < 2; ++i) {
    const PacketStep end = controller_->NextPacket(910'000 + i);
    EXPECT_EQ(end.kind, PacketStep::Kind::kFail);
    EXPECT_EQ(end.error, EAGAIN);
    EXPECT_TRUE(end.trace_over);
  }
  EXPECT_EQ(LogText(), "ioctl 192 0\nunplug\nioctl 192 -1\nplug\nioctl 192 0\nend of trace\n");
}

TEST_F(ControllerTest, InjectedFaults) {
  std::string error;
  ASSERT_TRUE(
      trace::ParseTrace("lumaro-trace 1\nfailonce 202\nframe 00010203\nreadzero\n"
                        "frame 0001020304050607\n",
                        &trace_, &error))
      << error;
  controller_ = std::make_unique<CameraController>(&trace_, &log_, 200.0,
                                                   FaultOptions{/*short_read_every=*/2,
                                                                /*fail_every=*/3});
  controller_->OnOpen();
  std::vector<std::uint8_t> id(4);
  EXPECT_EQ(controller_->Request(GET_PRODUCT_ID, id).error, EIO);  // once
  EXPECT_EQ(controller_->Request(GET_PRODUCT_ID, id).result, 0);
  EXPECT_EQ(controller_->Request(GET_PRODUCT_ID, id).error, EIO);  // every third
  EXPECT_EQ(controller_->NextRead().bytes.size(), 4u);
  EXPECT_EQ(controller_->NextRead().kind, ReadStep::Kind::kZero);
  EXPECT_EQ(controller_->NextRead().bytes.size(), 4u);  // the second frame, cut to half
  const std::string log = LogText();
  EXPECT_NE(log.find("injected request failure\n"), std::string::npos) << log;
  EXPECT_NE(log.find("readzero\nshort read 4 of 8\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace lumaro::sim
