#include "simulator/classic_controller.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "driver-interface/requests.h"
#include "simulator/sim_options.h"

namespace lumaro::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Block(std::uint8_t first) {
  Bytes block(32);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(first + i);
  return block;
}

// A block write packet, framed as the tool frames it.
Bytes WritePacket(std::uint8_t target, std::uint8_t block, const Bytes& data) {
  Bytes packet{0x55, 0x2D, target, 0xB2, 36, 0, 0, block, 0};
  for (std::uint8_t byte : data) packet.push_back(byte);
  unsigned sum = 0;
  for (std::size_t i = 2; i < packet.size(); ++i) sum += packet[i];
  packet.push_back(static_cast<std::uint8_t>(sum));
  return packet;
}

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

TEST_F(ClassicTest, UnitListReflectsTheTrace) {
  Load("classic-units 2\n");
  Bytes reply = Exchange({0x55, 0x1E, 0x80, 0xAE, 0x00, 0x2E});
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 7), (Bytes{0x55, 0x4B, 2, 0, 1, 0x4E, 0}));
  EXPECT_EQ(reply[63], 0);

  Load("");
  reply = Exchange({0x55, 0x1E, 0x80, 0xAE, 0x00, 0x2E});
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), (Bytes{0x55, 0x4B, 0, 0x4B}));
  EXPECT_NE(LogText().find("classic units 2\n"), std::string::npos);
}

TEST_F(ClassicTest, PrepareReadAndWriteBlocks) {
  Load("classic-units 1\nclassic-block 0x80 1 " + trace::ToHex(Block(1).data(), 32) + "\n");
  Bytes reply = Exchange({0x55, 0x3C, 0x80, 0xB1, 0x02, 0x00, 0x00, 0x33});
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0x55, 0x87, 0, 0x87, 0}));

  reply = Exchange({0x55, 0x1E, 0x80, 0xB2, 0x04, 0x00, 0x00, 0x01, 0x00, 0x37});
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x55, 0x4B, 32}));
  EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 35), Block(1));
  EXPECT_EQ(reply[35], static_cast<std::uint8_t>(0x4B + 32 + 528));  // status, m, data 1..32
  reply = ReadBlock(0x80, 7);                                        // never given: zeros
  EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 35), Bytes(32, 0));

  const Bytes packet = WritePacket(0x80, 6, Block(0x40));
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 9),
            (Bytes{0x55, 0x2D, 0x80, 0xB2, 0x24, 0x00, 0x00, 0x06, 0x00}));
  EXPECT_EQ(Exchange(packet)[1], kClassicReplyAck);
  EXPECT_EQ(Exchange(WritePacket(0, 3, Block(0x60)))[1], kClassicReplyAck);
  reply = ReadBlock(0x80, 6);
  EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 35), Block(0x40));
  const trace::ControllerState state = player_->State();
  EXPECT_EQ(state.classic_blocks.at({0x80, 6}), Block(0x40));
  EXPECT_EQ(state.classic_blocks.at({0, 3}), Block(0x60));
  // Absent units and blocks past a target's end are refused.
  EXPECT_EQ(ReadBlock(1, 0)[1], kClassicReplyFailed);
  EXPECT_EQ(ReadBlock(0, 4)[1], kClassicReplyFailed);
  const std::string log = LogText();
  EXPECT_NE(log.find("classic prepare 0x80\nclassic read 0x80 1\n"), std::string::npos);
  EXPECT_NE(log.find("classic write 0x80 6 " + trace::ToHex(Block(0x40).data(), 32) + "\n"),
            std::string::npos);
  EXPECT_NE(log.find("classic read 1 0 failed\n"), std::string::npos);
}

TEST_F(ClassicTest, MalformedPacketsGetAFailureStatus) {
  Load("");
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

  // A read with no command before it, and transfers longer than a packet.
  Bytes reply_buffer(64);
  EXPECT_EQ(classic_->Request(CLASSIC_CMD_READ, reply_buffer).error, ETIMEDOUT);
  SetLength(65);
  EXPECT_EQ(classic_->ArgumentSize(CLASSIC_CMD_WRITE), 0u);
  EXPECT_EQ(classic_->Request(CLASSIC_CMD_WRITE, {}).error, EINVAL);
}

TEST_F(ClassicTest, Misbehaviour) {
  ClassicFaults faults;
  faults.failing_reads = {{0x80, 2}};
  faults.writes_before_failure = 1;
  Load("classic-units 1\n", faults);
  EXPECT_EQ(ReadBlock(0x80, 2)[1], kClassicReplyFailed);
  EXPECT_EQ(ReadBlock(0x80, 3)[1], kClassicReplyData);
  EXPECT_EQ(Exchange(WritePacket(0x80, 0, Block(1)))[1], kClassicReplyAck);
  EXPECT_EQ(Exchange(WritePacket(0x80, 1, Block(1)))[1], kClassicReplyFailed);
  EXPECT_EQ(Exchange(WritePacket(0x80, 0, Block(9)))[1], kClassicReplyFailed);
  EXPECT_EQ(player_->State().classic_blocks.size(), 1u);
  EXPECT_EQ(player_->State().classic_blocks.at({0x80, 0}), Block(1));

  faults = {};
  faults.short_data = true;
  Load("classic-units 3\n", faults);
  Bytes reply = ReadBlock(0x80, 0);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x55, 0x4B, 31}));
  EXPECT_EQ(Exchange({0x55, 0x1E, 0x80, 0xAE, 0x00, 0x2E})[2], 2);
  EXPECT_EQ(Exchange({0x55, 0x3C, 0x80, 0xB1, 0x02, 0x00, 0x00, 0x33})[1], kClassicReplyAck);

  faults = {};
  faults.garbage = true;
  Load("", faults);
  reply = Exchange({0x55, 0x3C, 0x80, 0xB1, 0x02, 0x00, 0x00, 0x33});
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), (Bytes{0xAA, 0x78, 0, 0x88}));
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
  // packets belong to the other node.
  PacketStep step = classic_->NextEvent(1'000'000);
  ASSERT_EQ(step.kind, PacketStep::Kind::kPacket);
  EXPECT_EQ(step.bytes[0], 7);
  EXPECT_EQ(classic_->NextEvent(1'020'000).kind, PacketStep::Kind::kNotDue);
  step = classic_->NextEvent(1'040'000);
  ASSERT_EQ(step.kind, PacketStep::Kind::kPacket);
  EXPECT_EQ(step.bytes[0], 6);
  step = classic_->NextEvent(1'060'000);
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

TEST(SimOptions, ClassicMisbehaviourOptions) {
  SimOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ParseSimOptions(
      {"--classic-fail-read", "0x80:31", "--classic-fail-read=3:3", "--classic-fail-write-after",
       "0", "--classic-short-reply", "--classic-garbage-reply", "t", "--", "c"},
      &options, &help, &error))
      << error;
  EXPECT_EQ(options.classic.failing_reads,
            (std::set<std::pair<std::uint32_t, std::uint32_t>>{{0x80, 31}, {3, 3}}));
  EXPECT_EQ(options.classic.writes_before_failure, 0u);
  EXPECT_TRUE(options.classic.short_data);
  EXPECT_TRUE(options.classic.garbage);
  for (const char* bad : {"0x80:32", "4:0", "1:4", "0x80", "x:1", "0x80:-1"}) {
    SimOptions o;
    EXPECT_FALSE(ParseSimOptions({"--classic-fail-read", bad, "t", "--", "c"}, &o, &help, &error))
        << bad;
  }
  SimOptions o;
  EXPECT_FALSE(
      ParseSimOptions({"--classic-fail-write-after", "-1", "t", "--", "c"}, &o, &help, &error));
}

}  // namespace
}  // namespace lumaro::sim
