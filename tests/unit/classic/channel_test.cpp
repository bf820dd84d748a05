#include "classic-calibration-tool/command_channel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/classic/sim_classic.h"

namespace lumaro {
namespace {

using fakes::Bytes;
using fakes::SimulatedClassic;
using namespace classic_packet;

classic_record::Main Pattern() {
  classic_record::Main m;
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return m;
}

// The channel over the simulator's controller, pauses noted.
struct Channel {
  explicit Channel(const std::string& records = "", const sim::ClassicFaults& faults = {})
      : io(nullptr, records, faults) {}
  SimulatedClassic io;
  std::vector<std::uint32_t> pauses;
  ClassicChannel ch{io, SimulatedClassic::kFd, [this](std::uint32_t us) { pauses.push_back(us); }};
};

TEST(ClassicChannel, PacketsReachTheControllerWholeAndPaced) {
  Channel c("classic-units 2\n");
  std::array<std::uint8_t, kBlockReadRoom> data{};
  std::size_t m = 99;
  EXPECT_TRUE(cmd_send(c.ch, kGroupRead, kTargetController, kCmdUnitList, {}, data, &m, true));
  EXPECT_EQ(m, 2u);
  EXPECT_EQ(c.pauses, std::vector<std::uint32_t>{100000});
  EXPECT_TRUE(prepare_write(c.ch, kTargetController));
  Block32 block{}, back{};
  block.fill(0x01);
  block[31] = 0xFE;
  EXPECT_TRUE(block_write(c.ch, kTargetController, 6, block));
  EXPECT_TRUE(block_read(c.ch, kTargetController, 6, back));
  EXPECT_EQ(back, block);
  EXPECT_EQ(c.io.TakeCommands(), 4u);
  // The largest payload fills the 64-byte packet and arrives whole, with its
  // length and checksum right (the controller then finds no such command); a
  // payload beyond it is refused unsent.
  EXPECT_FALSE(cmd_send(c.ch, kGroupRead, 0x80, kCmdBlock, Bytes(kMaxPayload, 0), data, &m, true));
  EXPECT_EQ(c.io.TakeCommands(), 1u);
  const std::string line = c.io.LastCommand();
  EXPECT_NE(line.find("group 0x1e and 58 payload bytes: 551e80b23a" + std::string(116, '0') + "6c"),
            std::string::npos)
      << line;
  EXPECT_FALSE(
      cmd_send(c.ch, kGroupRead, 0x80, kCmdBlock, Bytes(kMaxPayload + 1, 0), data, &m, true));
  EXPECT_EQ(c.io.TakeCommands(), 0u);
  // Data that fill the room offered exactly are taken.
  std::array<std::uint8_t, 2> exact{};
  EXPECT_TRUE(cmd_send(c.ch, kGroupRead, kTargetController, kCmdUnitList, {}, exact, &m, true));
  EXPECT_EQ(exact, (std::array<std::uint8_t, 2>{0, 1}));  // units 0 and 1
}

TEST(ClassicChannel, SegmentsTakeWholeBlocksAndLongOnesAreRefusedUnsent) {
  Channel c;
  // Segment 1 (25 bytes) takes 1 block, segment 2 (150 bytes) 5, segment 3
  // (186 bytes) 6: the marker and the bytes, rounded up to whole blocks.
  const classic_record::Main main = Pattern();
  for (auto [segments, blocks] : {std::pair{0b1u, 1u}, {0b10u, 5u}, {0b100u, 6u}}) {
    EXPECT_EQ(main_record_replace(c.ch, main, main, static_cast<std::uint16_t>(segments)),
              RecordWrite::kStored);
    EXPECT_EQ(c.io.TakeCommands(), 1u + blocks) << segments;  // with the preparation
  }
  EXPECT_EQ(c.io.Block(0x80, 0)[0], 1);  // the marker
  EXPECT_EQ(c.io.Block(0x80, 1)[1], main[25]);
  EXPECT_EQ(c.io.Block(0x80, 11)[26], main[175 + 185]);  // segment 3's last byte
  Bytes segment(1024);
  EXPECT_TRUE(record_read(c.ch, 0x80, 6, std::span(segment).first(186)));
  EXPECT_TRUE(std::equal(main.begin() + 175, main.begin() + 361, segment.begin()));
  c.io.TakeCommands();
  // The longest segment spans all 32 blocks of the record; a longer one is
  // refused unread.
  EXPECT_TRUE(record_read(c.ch, 0x80, 0, std::span(segment).first(1023)));
  EXPECT_EQ(c.io.TakeCommands(), 32u);
  EXPECT_EQ(segment[0], main[0]);
  EXPECT_FALSE(record_read(c.ch, 0x80, 0, segment));
  EXPECT_EQ(c.io.TakeCommands(), 0u);

  // A segment without its marker is refused and leaves the caller's bytes.
  Block32 block{};
  block[0] = 2;
  ASSERT_TRUE(block_write(c.ch, 0x80, 0, block));
  Bytes kept(25, 0xCC);
  EXPECT_FALSE(record_read(c.ch, 0x80, 0, kept));
  EXPECT_EQ(kept, Bytes(25, 0xCC));
}

TEST(ClassicChannel, BadRepliesAndFailedRequestsFail) {
  Block32 block{};
  sim::ClassicFaults short_data, garbage;
  short_data.short_data = true;
  garbage.garbage = true;
  Channel shorted("", short_data), garbled("", garbage), sound;
  EXPECT_FALSE(block_read(shorted.ch, 0x80, 3, block));  // not 32 bytes
  EXPECT_FALSE(block_read(garbled.ch, 0x80, 3, block));
  EXPECT_FALSE(block_write(garbled.ch, 0x80, 3, block));

  Channel read_fails("fail 65\n");
  EXPECT_FALSE(prepare_write(read_fails.ch, 0x80));
  EXPECT_EQ(read_fails.pauses, (std::vector<std::uint32_t>{100000, 100000}));
  Channel write_fails("fail 64\n");
  EXPECT_FALSE(prepare_write(write_fails.ch, 0x80));
  EXPECT_EQ(write_fails.pauses, std::vector<std::uint32_t>{100000});  // no read was attempted
  EXPECT_FALSE(cmd_send(write_fails.ch, kGroupControl, 0x80, 0xAF, {}, {}, nullptr, false));
  EXPECT_TRUE(cmd_send(sound.ch, kGroupControl, 0x80, 0xAF, {}, {}, nullptr, false));
}

TEST(ClassicChannel, MainRecordSurvivesOptionalSegmentsButNotTheFirstFour) {
  const classic_record::Main stored = Pattern();
  const struct {
    std::uint32_t unreadable;  // a block of the main record
    bool ok;
    std::size_t commands;
  } cases[] = {{99, true, 29}, {17, true, 25}, {3, false, 4}};  // segment 5; segment 2
  for (const auto& t : cases) {
    sim::ClassicFaults faults;
    faults.failing_reads.insert({0x80, t.unreadable});
    Channel c("", faults);
    fakes::StoreMain(c.ch, stored);
    c.io.TakeCommands();
    classic_record::Main read;
    read.fill(0xAB);
    EXPECT_EQ(main_record_read(c.ch, read), t.ok) << t.unreadable;
    // Segment 5 is left at its failed block; segment 2's failure ends the
    // read after segment 1 and blocks 1 to 3.
    EXPECT_EQ(c.io.TakeCommands(), t.commands);
    if (!t.ok) continue;
    EXPECT_EQ(read[394], stored[394]);
    EXPECT_EQ(read[395], t.unreadable == 17 ? 0xAB : stored[395]);
    EXPECT_EQ(read[564], stored[564]);
  }
}

TEST(ClassicChannel, UnitListGivesTheUnitsRead) {
  Channel c("classic-units 3\n");
  ControllerConfig config{};
  config_read(c.ch, config);
  EXPECT_EQ(config.main_ok, 0);
  fakes::StoreMain(c.ch, Pattern());
  classic_record::Unit unit;
  unit.fill(0x42);
  // Unit 1 holds nothing: its marker is missing.
  fakes::StoreUnit(c.ch, 0, unit);
  fakes::StoreUnit(c.ch, 2, unit);
  config_read(c.ch, config);
  EXPECT_EQ(config.main_ok, 1);
  EXPECT_EQ(config.unit_count, 3);
  EXPECT_EQ(config.unit_ok, (std::array<std::uint8_t, 4>{1, 0, 1, 0}));
  EXPECT_EQ(config.units[2], unit);
}

}  // namespace
}  // namespace lumaro
