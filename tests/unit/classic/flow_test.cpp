#include "classic-calibration-tool/classic_flow.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "classic-calibration-tool/classic_startup.h"
#include "tests/unit/classic/sim_classic.h"

namespace lumaro {
namespace {

using fakes::Journal;
using fakes::SimulatedClassic;

constexpr ScreenSize kScreen = {1920, 1080};

using Captured = lumaro::test_support::CapturedOutput;

TEST(ClassicConsole, BannerIsExact) {
  Captured out;
  ClassicBanner(out.file());
  const std::string stars(76, '*');
  std::string blank(76, ' ');
  blank.front() = blank.back() = '*';
  auto row = [](const std::string& text) {
    return "*" + std::string(26, ' ') + text + std::string(48 - text.size(), ' ') + "*\n";
  };
  std::string expected = "\n" + stars + "\n" + blank + "\n" + row("Lumaro Device");
  for (int i = 0; i < 5; ++i) expected += blank + "\n";
  expected += row("Version: 1.0.2") + blank + "\n" + stars + "\n\n";
  EXPECT_EQ(out.Text(), expected);
}

class ClassicRun : public ::testing::Test {
 protected:
  // A controller whose main record holds the span (0, 4096, 0, 4096).
  void SetUp() override {
    for (std::size_t i = 0; i < main.size(); ++i) main[i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 4; ++i) classic_record::SetRawSpan(main, i, i % 2 ? 4096.0f : 0.0f);
    fakes::StoreMain(ch, main);
    io.TakeCommands();
  }
  bool Begin(std::vector<const char*> argv) {
    const SessionStart start = BeginClassic(c, ch, static_cast<int>(argv.size()), argv.data(),
                                            out.file(), [this] { ++clears; });
    failure = start.failure;
    return start.calibrate;
  }
  // The record the controller holds now.
  classic_record::Main Stored() {
    classic_record::Main m{};
    EXPECT_TRUE(main_record_read(ch, m));
    return m;
  }
  void Touch(std::uint16_t x, std::uint16_t y) {
    io.QueueEvent(classic_event::kContact, x, y);
    io.QueueEvent(classic_event::kRelease, 0, 0);
  }
  void Play() {
    while (io.HasEvents()) flow.Poll();
  }
  // Starts a calibration and touches the four points at their pixel positions.
  void TakeFourPoints() {
    ASSERT_TRUE(Begin({"tapalign-classic", "a", "b"}));
    flow.Begin();
    for (int k = 0; k < 4; ++k) {
      const PixelPoint p = CornerTarget(kScreen, k);
      Touch(static_cast<std::uint16_t>(p.x), static_cast<std::uint16_t>(p.y));
    }
    Play();
    ASSERT_EQ(c.point_index, 4);
    journal.clear();
    io.TakeCommands();
  }

  ClassicContext c{};
  classic_record::Main main;
  Journal journal;
  SimulatedClassic io{&journal};
  ClassicChannel ch{io, SimulatedClassic::kFd, [](std::uint32_t) {}};
  fakes::JournalScreen screen{journal};
  Captured out;
  std::string failure;
  int clears = 0;
  ClassicFlow flow{c, ch, screen, kScreen, out.file()};
};

TEST_F(ClassicRun, ResetInEitherSpellingClearsTheFlagAndSaysWhatItDoes) {
  EXPECT_FALSE(Begin({"tapalign-classic", "--reset"}));
  EXPECT_EQ(journal, (Journal{"CLASSIC_CALIB_SET", "CLASSIC_CALIB_APPLY"}));
  EXPECT_EQ(io.calibration(), fakes::Bytes(186, 0));
  EXPECT_EQ(io.TakeCommands(), 30u + 30u);  // configuration read, then the write
  classic_record::Main expected = main;
  classic_record::SetCalibrated(expected, 0);
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(io.closes, 1);
  EXPECT_EQ(out.Lines(), (std::vector<std::string>{
                             "Resetting the calibration: reading and rewriting the controller's "
                             "record (a few seconds)...",
                             "Reset done."}));
  EXPECT_EQ(failure, "");

  // The spelling the usage text shows resets too: read, then written.
  io.TakeCommands();
  EXPECT_FALSE(Begin({"tapalign-classic", "-reset"}));
  EXPECT_EQ(io.TakeCommands(), 30u + 30u);
  EXPECT_EQ(out.Lines().back(), "Reset done.");
  EXPECT_EQ(failure, "");
}

TEST_F(ClassicRun, UnreadConfigurationIsNeverWrittenBack) {
  // Segment 5 (blocks 16 to 21) unread: main_ok is 1, the rest is stored.
  sim::ClassicFaults faults;
  faults.failing_reads.insert({0x80, 18});
  io.SetFaults(faults);
  std::vector<fakes::Bytes> before;
  for (std::uint32_t b = 0; b < 32; ++b) before.push_back(io.Block(0x80, b));
  auto changed = [&](std::uint32_t b) { return io.Block(0x80, b) != before[b]; };
  EXPECT_FALSE(Begin({"tapalign-classic", "--reset"}));
  EXPECT_EQ(c.config.main_ok, 1);
  EXPECT_EQ(c.config.main_read, 0x1EF);
  EXPECT_TRUE(changed(11));  // the calibrated flag
  for (std::uint32_t b = 16; b < 22; ++b) EXPECT_FALSE(changed(b)) << b;
  EXPECT_EQ(io.TakeCommands(), 29u - 3u + 1u + 1u + 23u);  // reads, unit list, writes

  c = ClassicContext{};
  faults.failing_reads.insert({0x80, 13});
  io.SetFaults(faults);  // segment 4: main_ok 0
  EXPECT_FALSE(Begin({"tapalign-classic", "--reset"}));
  EXPECT_EQ(c.config.main_ok, 0);
  EXPECT_EQ(io.TakeCommands(), 14u + 1u);  // blocks 0 to 13 and the unit list, no write
  EXPECT_EQ(failure, "the controller's configuration could not be read, so nothing was stored");

  // Ok does not store it either.
  c.point_index = 4;
  flow.OnButtonRelease(960, 550);
  EXPECT_TRUE(flow.finished());
  EXPECT_EQ(flow.failure(), failure);
  EXPECT_EQ(journal.back(), "release");
  EXPECT_EQ(io.TakeCommands(), 0u);
}

TEST_F(ClassicRun, UsageForAnyOtherSingleArgumentAndSilenceWithoutTheNode) {
  EXPECT_FALSE(Begin({"tapalign-classic", "-r"}));
  EXPECT_EQ(clears, 1);
  EXPECT_TRUE(
      out.Text().ends_with("[OPTION]:\n\t-reset\tReset the device for non-calibration "
                           "status.\n\t--help\tDisplay this help and exit\n\n"
                           "Example: ./tapalign -reset\n\n"));
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(io.TakeCommands(), 30u);  // the configuration was read, nothing written

  // Without the node: nothing on standard output, status 1 and the reason.
  Captured quiet;
  io.open_fails = true;
  const char* argv[] = {"tapalign-classic", "--help"};
  const SessionStart start = BeginClassic(c, ch, 2, argv, quiet.file(), [] {});
  EXPECT_FALSE(start.calibrate);
  EXPECT_EQ(io.TakeCommands(), 0u);
  EXPECT_EQ(quiet.Text(), "");
  EXPECT_EQ(start.failure, "cannot open /dev/LumaroClassic: No such file or directory");
}

TEST_F(ClassicRun, FourPointsAreTakenOnePerContactAndFitted) {
  ASSERT_TRUE(Begin({"tapalign-classic", "a", "b"}));
  EXPECT_EQ(journal, Journal{"CLASSIC_CALIB_BEGIN"});
  EXPECT_EQ(c.point_count, 4);
  flow.Begin();
  // A contact held while the next crosshair shows gives no second point.
  io.QueueEvent(classic_event::kContact, 96, 60);
  io.QueueEvent(classic_event::kContact, 1824, 60);
  io.QueueEvent(3, 1824, 60);
  Play();
  EXPECT_EQ(c.point_index, 1);
  io.QueueEvent(classic_event::kRelease, 0, 0);
  io.QueueEvent(classic_event::kContact, 1824, 60);
  Play();
  EXPECT_EQ(c.point_index, 2);
  const float fx = 4096.0f / 1920.0f, fy = 4096.0f / 1080.0f;
  EXPECT_EQ(c.targets[1].x, static_cast<double>(fx * 1824.0f));
  EXPECT_EQ(c.targets[1].y, static_cast<double>(fy * 60.0f));
  EXPECT_NEAR(c.targets[1].x, 3891.2, 0.01);

  journal.clear();
  io.QueueEvent(classic_event::kRelease, 0, 0);
  Touch(96, 1020);
  Touch(1824, 1020);
  Play();
  EXPECT_EQ(
      journal,
      (Journal{"crosshair 1824 1020", "CLASSIC_CALIB_SET", "CLASSIC_CALIB_END", "pointer", "clear",
               "buttons -1", "note Residual: largest 0.0 px, mean 0.0 px", "CLASSIC_CALIB_APPLY"}));
  const fakes::Bytes calib = io.calibration();
  EXPECT_EQ(calib[0], 13);
  EXPECT_EQ(calib[185], 1);
  EXPECT_NEAR(GetAt<double>(calib, 33), fx, 1e-6);  // X's coefficient of x
  EXPECT_NEAR(GetAt<double>(calib, 57), fy, 1e-6);  // Y's coefficient of y
}

TEST_F(ClassicRun, FailedFitSaysSoAndOkTellsTheDriverThePassWasCancelled) {
  ASSERT_TRUE(Begin({"tapalign-classic", "a", "b"}));
  flow.Begin();
  for (int k = 0; k < 4; ++k) Touch(500, 500);  // one spot: no map fits
  Play();
  EXPECT_EQ(journal.back(), "CLASSIC_CALIB_APPLY");
  EXPECT_EQ(journal[journal.size() - 2],
            "note Nothing stored: the fit failed (are the touches in a line?)");
  flow.OnButtonRelease(960, 550);  // Ok
  EXPECT_TRUE(flow.finished());
  EXPECT_EQ(flow.failure(), "nothing stored: the fit failed (are the touches in a line?)");
  EXPECT_EQ(io.calibration()[185], 2);  // the driver told the pass was cancelled
}

TEST_F(ClassicRun, CancelAndEscapeEndWithoutWriting) {
  TakeFourPoints();
  flow.OnButtonRelease(1050, 550);
  EXPECT_EQ(journal, (Journal{"buttons -1", "buttons 2", "CLASSIC_CALIB_END", "CLASSIC_CALIB_SET",
                              "CLASSIC_CALIB_APPLY", "release"}));
  EXPECT_EQ(io.calibration()[185], 2);
  EXPECT_EQ(io.calibration()[0], 13);
  EXPECT_EQ(io.TakeCommands(), 0u);

  ClassicContext other{};
  journal.clear();
  ClassicFlow collecting(other, ch, screen, kScreen, out.file());
  collecting.Begin();
  collecting.OnButtonPress(960, 550);  // buttons are dead while collecting
  collecting.OnButtonRelease(960, 550);
  collecting.OnKeyPress(0x61);
  EXPECT_FALSE(collecting.finished());
  collecting.OnKeyPress(kEscapeKeysym);
  EXPECT_TRUE(collecting.finished());
  io.QueueEvent(classic_event::kContact, 96, 60);
  collecting.Poll();  // a finished flow reads nothing more
  EXPECT_TRUE(io.HasEvents());
  EXPECT_EQ(journal, (Journal{"crosshair 96 60", "CLASSIC_CALIB_END", "release"}));
}

TEST_F(ClassicRun, RecalibrateWaitsForARelease) {
  TakeFourPoints();
  flow.OnButtonRelease(1050, 580);  // outside every box: only the grey buttons
  EXPECT_EQ(journal, Journal{"buttons -1"});
  journal.clear();
  flow.OnButtonRelease(850, 550);
  EXPECT_EQ(journal, (Journal{"buttons -1", "clear", "blank", "buttons 0", "CLASSIC_CALIB_BEGIN",
                              "crosshair 96 60"}));
  EXPECT_EQ(c.point_index, 0);
  io.QueueEvent(classic_event::kContact, 500, 500);  // contact_taken is still 1
  Play();
  EXPECT_EQ(c.point_index, 0);
  Touch(100, 100);
  io.QueueEvent(classic_event::kContact, 100, 100);
  Play();
  EXPECT_EQ(c.point_index, 1);
  EXPECT_EQ(c.touches[0].x, 100.0);
}

}  // namespace
}  // namespace lumaro
