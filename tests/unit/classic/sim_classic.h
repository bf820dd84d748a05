// The simulator's classic controller behind the DeviceIo that
// tapalign-classic talks through. The controller comes from a trace's
// records and faults; touch events come from the test's queue; the fixed
// requests are noted by name in a journal that a screen may share.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "classic-calibration-tool/classic_flow.h"
#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "simulator/classic_controller.h"
#include "tests/unit/captured_output.h"
#include "trace/trace.h"

namespace lumaro::fakes {

using Bytes = std::vector<std::uint8_t>;
using Journal = std::vector<std::string>;

class SimulatedClassic final : public DeviceIo {
 public:
  static constexpr int kFd = 0;  // descriptor 0 is as valid as any

  explicit SimulatedClassic(Journal* journal = nullptr, const std::string& records = "",
                            const sim::ClassicFaults& faults = {})
      : journal_(journal) {
    std::string error;
    EXPECT_TRUE(trace::ParseTrace("lumaro-trace 1\n" + records, &trace_, &error)) << error;
    classic_ = std::make_unique<sim::ClassicController>(camera_.player(), &log_, faults);
    camera_.player()->OnOpen();
  }

  // Faults from now on; the stored blocks stay.
  void SetFaults(const sim::ClassicFaults& faults) {
    classic_ = std::make_unique<sim::ClassicController>(camera_.player(), &log_, faults);
  }
  bool open_fails = false;
  int closes = 0;

  void QueueEvent(std::uint8_t type, std::uint16_t x, std::uint16_t y) {
    classic_event::Block e{};
    classic_event::SetType(e, type);
    classic_event::SetX(e, x);
    classic_event::SetY(e, y);
    events_.push_back(e);
  }
  bool HasEvents() const { return !events_.empty(); }
  // Command packets the controller carried out (or refused) since the last call.
  std::size_t TakeCommands() {
    std::size_t n = 0;
    for (const std::string& line : captured_.Lines()) n += line.starts_with("classic ");
    const std::size_t new_commands = n - commands_seen_;
    commands_seen_ = n;
    return new_commands;
  }
  // The controller's account of the last command packet.
  std::string LastCommand() {
    std::string last;
    for (const std::string& line : captured_.Lines()) {
      if (line.starts_with("classic ")) last = line;
    }
    return last;
  }
  Bytes calibration() { return classic_->calibration(); }
  Bytes Block(std::uint32_t target, std::uint32_t number) {
    return camera_.State().classic_blocks[{target, number}];
  }

  int Open(const char*, int) override {
    if (open_fails) return errno = ENOENT, -1;
    return kFd;
  }
  int Close(int) override { return ++closes, 0; }
  ssize_t Read(int, void*, std::size_t) override { return errno = EINVAL, -1; }
  ssize_t Write(int, const void*, std::size_t) override { return errno = EINVAL, -1; }
  int Access(const char*, int) override { return 0; }
  int Ioctl(int, unsigned long code, void* block) override {
    if (code == CLASSIC_TOUCH_READ) {
      if (events_.empty()) return errno = EAGAIN, -1;
      std::memcpy(block, events_.front().data(), events_.front().size());
      events_.pop_front();
      return 0;
    }
    if (journal_ != nullptr && code != CLASSIC_CMD_LENGTH && code != CLASSIC_CMD_WRITE &&
        code != CLASSIC_CMD_READ) {
      journal_->push_back(FindClassicRequest(code)->name);
    }
    const sim::RequestOutcome outcome =
        classic_->Request(code, {static_cast<std::uint8_t*>(block), classic_->ArgumentSize(code)});
    if (outcome.result < 0) errno = outcome.error;
    return outcome.result;
  }

 private:
  Journal* journal_;
  trace::Trace trace_;
  test_support::CapturedOutput captured_;
  sim::SimLog log_{captured_.file()};
  sim::CameraController camera_{&trace_, &log_};
  std::unique_ptr<sim::ClassicController> classic_;
  std::deque<classic_event::Block> events_;
  std::size_t commands_seen_ = 0;
};

// Puts `record` in the controller as the main record, through the tool's own
// replacement (over a record assumed equal, so nothing is to be restored).
inline void StoreMain(ClassicChannel& ch, const classic_record::Main& record) {
  ASSERT_EQ(main_record_replace(ch, record, record), RecordWrite::kStored);
}

// Puts a unit record in the controller block by block: each segment's marker
// 1 and its bytes, as the controller keeps them.
inline void StoreUnit(ClassicChannel& ch, std::uint8_t unit, const classic_record::Unit& record) {
  for (const Segment& s : kUnitSegments) {
    Bytes image(SegmentBlocks(s.length) * 32, 0);
    image[0] = 1;
    std::copy_n(record.begin() + s.offset, s.length, image.begin() + 1);
    for (std::size_t k = 0; k < SegmentBlocks(s.length); ++k) {
      Block32 block;
      std::copy_n(image.begin() + 32 * k, block.size(), block.begin());
      ASSERT_TRUE(block_write(ch, unit, static_cast<std::uint16_t>(s.first_block + k), block));
    }
  }
}

// A screen that notes what it draws in the journal.
class JournalScreen final : public CalibrationScreen {
 public:
  explicit JournalScreen(Journal& j) : journal(j) {}
  Journal& journal;
  void DrawCrosshair(PixelPoint at, std::optional<std::int32_t>) override {
    journal.push_back("crosshair " + std::to_string(at.x) + " " + std::to_string(at.y));
  }
  void DrawButtons(int pressed, std::optional<std::int32_t>) override {
    journal.push_back("buttons " + std::to_string(pressed));
  }
  void DrawNote(const std::string& text) override { journal.push_back("note " + text); }
  void Clear() override { journal.push_back("clear"); }
  void ShowPointer() override { journal.push_back("pointer"); }
  void HidePointer() override { journal.push_back("blank"); }
  void Release() override { journal.push_back("release"); }
};

}  // namespace lumaro::fakes
