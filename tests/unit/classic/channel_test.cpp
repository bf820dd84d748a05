#include "classic-calibration-tool/command_channel.h"

#include <gtest/gtest.h>

#include "tests/unit/classic/classic_fakes.h"

namespace lumaro {
namespace {

using fakes::Bytes;
using fakes::FakeClassic;
using fakes::MakeReply;
using namespace classic_packet;

classic_record::Main Pattern() {
  classic_record::Main m;
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return m;
}

class Channel : public ::testing::Test {
 protected:
  // Stores `m` in the controller and forgets the traffic.
  void Hold(const classic_record::Main& m) {
    ASSERT_TRUE(main_record_write(ch, m));
    Forget();
  }
  void Forget() {
    io.commands.clear();
    io.lengths.clear();
    pauses.clear();
  }
  std::vector<std::string> journal;
  FakeClassic io{journal};
  std::vector<std::uint32_t> pauses;
  ClassicChannel ch{io, FakeClassic::kFd, [this](std::uint32_t us) { pauses.push_back(us); }};
};

TEST_F(Channel, PacketsAreFramedAndPacedExactly) {
  std::array<std::uint8_t, kBlockReadRoom> data{};
  std::size_t m = 99;
  EXPECT_TRUE(cmd_send(ch, kGroupRead, kTargetController, kCmdUnitList, {}, data, &m, true));
  EXPECT_EQ(m, 0u);
  EXPECT_EQ(io.commands.back(), (Bytes{0x55, 0x1E, 0x80, 0xAE, 0x00, 0x2E}));
  EXPECT_EQ(io.lengths, (std::vector<std::uint64_t>{6, 64}));
  EXPECT_EQ(pauses, std::vector<std::uint32_t>{100000});

  EXPECT_TRUE(prepare_write(ch, kTargetController));
  EXPECT_EQ(io.commands.back(), (Bytes{0x55, 0x3C, 0x80, 0xB1, 0x02, 0x00, 0x00, 0x33}));
  Block32 block{};
  EXPECT_TRUE(block_read(ch, kTargetController, 1, block));
  EXPECT_EQ(io.commands.back(),
            (Bytes{0x55, 0x1E, 0x80, 0xB2, 0x04, 0x00, 0x00, 0x01, 0x00, 0x37}));

  block.fill(0x01);
  EXPECT_TRUE(block_write(ch, kTargetController, 6, block));
  const Bytes& w = io.commands.back();
  ASSERT_EQ(w.size(), 42u);
  EXPECT_EQ(Bytes(w.begin(), w.begin() + 9),
            (Bytes{0x55, 0x2D, 0x80, 0xB2, 0x24, 0x00, 0x00, 0x06, 0x00}));
  EXPECT_EQ(w.back(), static_cast<std::uint8_t>(0x80 + 0xB2 + 0x24 + 0x06 + 32));
}

TEST_F(Channel, SegmentsTakeWholeBlocksAndLongOnesAreRefusedUnsent) {
  const Bytes data(1024, 0x5A);
  for (auto [length, blocks] : {std::pair{31u, 1u}, {32u, 2u}, {1023u, 32u}}) {
    Forget();
    EXPECT_TRUE(record_write(ch, 0, 0, std::span(data).first(length)));
    EXPECT_EQ(io.commands.size(), blocks) << length;
  }
  EXPECT_EQ((io.blocks[{0, 0}][0]), 1);  // the marker
  EXPECT_EQ((io.blocks[{0, 31}][31]), 0x5A);
  Forget();
  EXPECT_FALSE(record_write(ch, 0, 0, data));
  Bytes out(1024);
  EXPECT_FALSE(record_read(ch, 0, 0, out));
  EXPECT_TRUE(io.commands.empty());

  // A segment without its marker is refused and leaves the caller's bytes.
  io.blocks[{0, 0}][0] = 2;
  Bytes kept(25, 0xCC);
  EXPECT_FALSE(record_read(ch, 0, 0, kept));
  EXPECT_EQ(kept, Bytes(25, 0xCC));
}

TEST_F(Channel, RepliesOfTheWrongKindAndFailedRequestsFail) {
  Block32 block{};
  io.forced.push_back(MakeReply(kReplyData, Bytes(32, 1)));
  EXPECT_FALSE(block_write(ch, 0x80, 3, block));  // data where an acknowledgement was due
  io.forced.push_back(MakeReply(kReplyAck));
  EXPECT_FALSE(block_read(ch, 0x80, 3, block));
  io.forced.push_back(MakeReply(kReplyData, Bytes(31, 1)));
  EXPECT_FALSE(block_read(ch, 0x80, 3, block));  // not 32 bytes
  io.forced.push_back(MakeReply(kReplyData, Bytes(59, 1)));
  std::array<std::uint8_t, kBlockReadRoom> room{};
  std::size_t m = 0;
  EXPECT_FALSE(cmd_send(ch, kGroupRead, 0x80, kCmdBlock, {}, room, &m, true));  // beyond the room
  EXPECT_FALSE(cmd_send(ch, kGroupRead, 0x80, kCmdBlock, Bytes(59, 0), room, &m, true));

  Forget();
  io.failing.insert(CLASSIC_CMD_READ);
  EXPECT_FALSE(prepare_write(ch, 0x80));
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{100000, 100000}));
  Forget();
  io.failing.insert(CLASSIC_CMD_WRITE);
  EXPECT_FALSE(prepare_write(ch, 0x80));
  EXPECT_EQ(pauses, std::vector<std::uint32_t>{100000});
  EXPECT_EQ(io.lengths, std::vector<std::uint64_t>{8});  // no read was attempted
  EXPECT_FALSE(cmd_send(ch, kGroupControl, 0x80, 0xAF, {}, {}, nullptr, false));
  io.failing.clear();
  EXPECT_TRUE(cmd_send(ch, kGroupControl, 0x80, 0xAF, {}, {}, nullptr, false));
}

TEST_F(Channel, MainRecordSurvivesOptionalSegmentsButNotTheFirstFour) {
  const classic_record::Main stored = Pattern();
  Hold(stored);
  classic_record::Main read{};
  EXPECT_TRUE(main_record_read(ch, read));
  EXPECT_EQ(read, stored);
  EXPECT_EQ(io.commands.size(), 29u);

  io.unreadable.insert({0x80, 17});  // segment 5
  read.fill(0xAB);
  EXPECT_TRUE(main_record_read(ch, read));
  EXPECT_EQ(read[394], stored[394]);
  EXPECT_EQ(read[395], 0xAB);
  EXPECT_EQ(read[564], stored[564]);

  Forget();
  io.unreadable.insert({0x80, 3});  // segment 2
  EXPECT_FALSE(main_record_read(ch, read));
  EXPECT_EQ(io.commands.size(), 4u);  // segment 1, then blocks 1 to 3
}

TEST_F(Channel, UnitListGivesTheUnitsRead) {
  Hold(Pattern());
  ControllerConfig config{};
  config_read(ch, config);
  EXPECT_EQ(config.main_ok, 1);
  EXPECT_EQ(config.unit_count, 0);
  EXPECT_EQ(io.commands.size(), 30u);  // 29 blocks and the unit list

  io.units = 5;
  config_read(ch, config);
  EXPECT_EQ(config.unit_count, 0);

  io.units = 3;  // unit 1 holds nothing: its marker is missing
  classic_record::Unit unit;
  unit.fill(0x42);
  ASSERT_TRUE(unit_record_write(ch, 0, unit));
  ASSERT_TRUE(unit_record_write(ch, 2, unit));
  config_read(ch, config);
  EXPECT_EQ(config.unit_count, 3);
  EXPECT_EQ(config.unit_ok, (std::array<std::uint8_t, 4>{1, 0, 1, 0}));
  EXPECT_EQ(config.units[2], unit);
}

}  // namespace
}  // namespace lumaro
