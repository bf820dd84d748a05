#include "simulator/camera_controller.h"
#include "simulator/classic_controller.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The camera controller and the classic controller beside it, over a
// trace's records, with their log captured in memory.
class ControllerTest : public ::testing::Test {
 protected:
  void Load(const std::string& records, double packet_rate = 200.0, FaultOptions faults = {},
            const ClassicFaults& classic_faults = {}) {
    std::string error;
    ASSERT_TRUE(trace::ParseTrace("lumaro-trace 1\n" + records, &trace_, &error)) << error;
    controller_ = std::make_unique<CameraController>(&trace_, &log_, packet_rate, faults);
    classic_ = std::make_unique<ClassicController>(controller_->player(), &log_, classic_faults);
    controller_->OnOpen();
  }
  std::string LogText() { return captured_log_.Text(); }
  void SetLength(std::uint64_t count) {
    Bytes length(8);
    for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(count >> (8 * i));
    EXPECT_EQ(classic_->Request(CLASSIC_CMD_LENGTH, length).result, 0);
  }
  // One exchange as the tool makes it; returns the 64 reply bytes.
  Bytes Exchange(Bytes packet) {
    SetLength(packet.size());
    EXPECT_EQ(classic_->ArgumentSize(CLASSIC_CMD_WRITE), packet.size());
    EXPECT_EQ(classic_->Request(CLASSIC_CMD_WRITE, packet).result, 0);
    SetLength(64);
    Bytes reply(64, 0xee);
    EXPECT_EQ(classic_->Request(CLASSIC_CMD_READ, reply).result, 64);
    return reply;
  }
  Bytes ReadBlock(std::uint8_t target, std::uint8_t block) {
    Bytes packet{0x55, 0x1E, target, 0xB2, 4, 0, 0, block, 0};
    packet.push_back(static_cast<std::uint8_t>(target + 0xB2 + 4 + block));
    return Exchange(packet);
  }

  test_support::CapturedOutput captured_log_;
  SimLog log_{captured_log_.file()};
  trace::Trace trace_;
  std::unique_ptr<CameraController> controller_;
  std::unique_ptr<ClassicController> classic_;
};

// A changed calibration marks the next frame 0xA1, so that a reader
// identifies again; a SET that changes nothing, and later frames, keep theirs.
TEST_F(ControllerTest, ChangedCalibrationMarksTheNextFrameForIdentification) {
  std::string frames;
  for (int i = 0; i < 5; ++i) frames += "frame 00010203\n";
  Load(frames);
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
  Load("failonce 202\nframe 00010203\nreadzero\nframe 0001020304050607\n", 200.0,
       FaultOptions{/*short_read_every=*/2, /*fail_every=*/3});
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

TEST_F(ControllerTest, ClassicMalformedPacketsGetAFailureStatus) {
  Load("classic-units 2\n");
  Bytes reply = Exchange({0x55, 0x1E, 0x80, 0xAE, 0x00, 0x2F});  // checksum off by one
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), (Bytes{0x55, kClassicReplyFailed, 0, 0xF0}));
  EXPECT_EQ(Exchange({0x54, 0x1E, 0x80, 0xAE, 0x00, 0x2E})[1], kClassicReplyFailed);  // sync
  EXPECT_EQ(Exchange({0x55, 0x1E, 0x80, 0xAE, 0x01, 0x2F})[1], kClassicReplyFailed);  // length
  EXPECT_EQ(Exchange({0x55, 0x2D, 0x80, 0xB2, 0x04, 0, 0, 1, 0, 0x37})[1], kClassicReplyFailed);
  EXPECT_EQ(Exchange({0x55, 0x1E, 0x80, 0xC0, 0x00, 0x40})[1], kClassicReplyFailed);
  EXPECT_EQ(Exchange({0x55, 0x1E, 0x80, 0xB2, 0x04, 0, 0, 1, 1, 0x38})[1],  // address
            kClassicReplyFailed);
  EXPECT_NE(LogText().find("classic bad packet checksum 0x2f, expected 0x2e: 551e80ae002f\n"),
            std::string::npos);
  // Absent units and blocks past a target's end are refused.
  EXPECT_EQ(ReadBlock(2, 0)[1], kClassicReplyFailed);
  EXPECT_EQ(ReadBlock(0, 4)[1], kClassicReplyFailed);

  // A read with no command before it, and transfers longer than a packet.
  Bytes reply_buffer(64);
  EXPECT_EQ(classic_->Request(CLASSIC_CMD_READ, reply_buffer).error, ETIMEDOUT);
  SetLength(65);
  EXPECT_EQ(classic_->ArgumentSize(CLASSIC_CMD_WRITE), 0u);
  EXPECT_EQ(classic_->Request(CLASSIC_CMD_WRITE, {}).error, EINVAL);
}

TEST_F(ControllerTest, ClassicFixedRequestsAndEvents) {
  Load(
      "classic-units 1\nevent 07000a000b0000000000\nframe a0\npacket 000700000000\n"
      "wait 30\nevent 06000a000b0000000000\nfail 241\n",
      100.0);
  Bytes flag{1};
  EXPECT_EQ(classic_->Request(CLASSIC_CALIB_BEGIN, flag).result, 0);
  Bytes calib(186, 0x5c);
  EXPECT_EQ(classic_->Request(CLASSIC_CALIB_SET, calib).result, 0);
  EXPECT_EQ(classic_->calibration(), calib);
  Bytes event(10);
  EXPECT_EQ(classic_->Request(CLASSIC_TOUCH_READ, event).error, EAGAIN);  // needs the clock

  // Events in order, one period (10 ms) apart plus the waits; frames and
  // packets belong to the other node. The first is due when first asked for;
  // a late request does not move the due times after it.
  PacketStep step = classic_->NextEvent(1'000'000);
  ASSERT_EQ(step.kind, PacketStep::Kind::kPacket);
  EXPECT_EQ(step.bytes[0], 7);
  EXPECT_EQ(classic_->NextEvent(1'039'999).kind, PacketStep::Kind::kNotDue);
  step = classic_->NextEvent(1'045'000);
  ASSERT_EQ(step.kind, PacketStep::Kind::kPacket);
  EXPECT_EQ(step.bytes[0], 6);
  step = classic_->NextEvent(1'050'000);
  EXPECT_EQ(step.error, EAGAIN);
  EXPECT_TRUE(step.trace_over);
  // `fail 241` was reached by the event stream.
  EXPECT_EQ(classic_->Request(CLASSIC_CALIB_END, flag).error, EIO);
  std::string calib_hex;
  for (int i = 0; i < 186; ++i) calib_hex += "5c";
  EXPECT_EQ(LogText(),
            "ioctl 240 0 01\nioctl 244 0 " + calib_hex +
                "\nioctl 242 -1\nioctl 242 0\nioctl 242 0\nend of trace\nioctl 241 -1 01\n");
}

}  // namespace
}  // namespace lumaro::sim
