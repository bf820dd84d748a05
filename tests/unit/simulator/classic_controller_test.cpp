#include "simulator/classic_controller.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ClassicTest : public ::testing::Test {
 protected:
  void Load(const std::string& records, const ClassicFaults& faults = {}) {
    std::string error;
    ASSERT_TRUE(trace::ParseTrace("lumaro-trace 1\n" + records, &trace_, &error)) << error;
    player_ = std::make_unique<TracePlayer>(&trace_, &log_, 100.0);
    classic_ = std::make_unique<ClassicController>(player_.get(), &log_, faults);
    player_->OnOpen();
  }
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
  std::string LogText() { return captured_log_.Text(); }

  test_support::CapturedOutput captured_log_;
  SimLog log_{captured_log_.file()};
  trace::Trace trace_;
  std::unique_ptr<TracePlayer> player_;
  std::unique_ptr<ClassicController> classic_;
};

TEST_F(ClassicTest, MalformedPacketsGetAFailureStatus) {
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

TEST_F(ClassicTest, FixedRequestsAndEvents) {
  Load(
      "classic-units 1\nevent 07000a000b0000000000\nframe a0\npacket 000700000000\n"
      "wait 30\nevent 06000a000b0000000000\nfail 241\n");
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
