#include "calibration-tool/session_flow.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "calibration-tool/calib_params.h"
#include "tests/unit/calibration/calib_fakes.h"
#include "tests/unit/captured_output.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

using fakes::FakeScreen;
using fakes::SimulatedCamera;

constexpr ScreenSize kScreen = {1920, 1080};

ParamBlock Pattern(std::uint8_t start) {
  ParamBlock b;
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(start + i);
  return b;
}

std::string Block(unsigned long code, std::uint8_t start) {
  const ParamBlock b = Pattern(start);
  return "block " + std::to_string(code) + " " + trace::ToHex(b.data(), b.size()) + "\n";
}

class SessionFlow : public ::testing::Test {
 protected:
  void Start(bool advanced) {
    s.fd = SimulatedCamera::kFd;
    s.required = advanced ? kAdvancedPoints : kBasicPoints;
    s.advanced = advanced ? 1 : 0;
    ReadParameters(s, io, out, reads);
    SaveParameters(s);
    io.sent.clear();
    flow.Begin();
  }
  void Contact(int x, int y, int packets) {
    for (int i = 0; i < packets; ++i) io.QueuePacket(touch_packet::kContact, x, y);
  }
  void Release() { io.QueuePacket(touch_packet::kRelease, 0, 0); }
  void Play() {
    while (!io.packets.empty() && !flow.finished()) flow.Poll();
  }
  // One steady touch per target: raw = 10 * target pixel + 7.
  void TouchAllTargets(int points) {
    for (int k = 0; k < points; ++k) {
      const PixelPoint p =
          s.advanced ? GridTarget(kScreen, k % 4, k / 4) : CornerTarget(kScreen, k);
      Contact(static_cast<int>(p.x) / 2 + 7, static_cast<int>(p.y) / 2 + 7, 101);
      Release();
    }
    Play();
  }

  test_support::CapturedOutput output;
  std::FILE* out = output.file();
  CalibSession s{};
  ReadStatus reads;
  // The controller holds the patterns 10, 80 and 150 in CalibX, CalibY and DeviceConfig.
  SimulatedCamera io{Block(GET_CALIB_PARA_X, 10) + Block(GET_CALIB_PARA_Y, 80) +
                     Block(GET_DEVICE_CONFIG, 150)};
  FakeScreen screen;
  CalibrationFlow flow{s, reads, io, screen, kScreen, out};
};

TEST_F(SessionFlow, SteadyContactGivesItsSampleOnThe101stPacket) {
  Start(false);
  io.QueuePacket(touch_packet::kRelease, 0, 0);  // no contact yet: ignored
  io.QueuePacket(3, 500, 500);                   // unknown type: ignored
  Contact(1000, 2000, 1);
  for (int i = 0; i < 98; ++i) Contact(1000 + (i % 2 ? 99 : -99), 2000 - 99, 1);
  Contact(1099, 2099, 1);  // the 100th steady packet
  Play();
  EXPECT_EQ(flow.counters().packet_count, 100);
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(screen.last_counter, 100);
  Contact(1050, 1950, 1);
  Play();
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.rawX[0], 1050.0f);  // the accepting packet, not the first one
  EXPECT_EQ(s.rawY[0], 1950.0f);
  EXPECT_EQ(s.targetX[1], TargetUnits(1824, 1920));  // the next corner is shown
  Contact(9000, 9000, 300);                          // the rest of the contact is ignored
  Play();
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(screen.crosshairs.back().x, 1824u);
}

TEST_F(SessionFlow, StrayingContactGivesNoSampleUntilLifted) {
  Start(false);
  Contact(1000, 1000, 50);
  Contact(1000, 1100, 1);  // 100 away: strays
  Contact(1000, 1000, 200);
  Play();
  EXPECT_TRUE(flow.counters().moved);
  EXPECT_EQ(flow.counters().packet_count, 0);
  EXPECT_EQ(s.count, 0);
  Release();
  Contact(1000, 1000, 101);
  Play();
  EXPECT_EQ(s.count, 1);
}

TEST_F(SessionFlow, FourPointPassIsStoredTwiceAndOkLeavesCalibrationMode) {
  Start(false);
  TouchAllTargets(4);
  ASSERT_EQ(s.count, 4);
  EXPECT_TRUE(screen.pointer_shown);
  EXPECT_EQ(screen.last_counter, std::nullopt);  // no counter on the result face
  // Stored on the accepting packet, and again on the release.
  const std::vector<unsigned long> store = {SET_CALIB_PARA_X, SET_CALIB_PARA_Y, SET_DEVICE_CONFIG,
                                            SET_START_CALIB, DEVICE_RESET};
  std::vector<unsigned long> twice = store;
  twice.insert(twice.end(), store.begin(), store.end());
  ASSERT_EQ(io.Codes(), twice);
  EXPECT_EQ(io.sent[3].bytes, std::vector<std::uint8_t>{0});
  // The touches lie on an exact map: the face shows no residual.
  EXPECT_EQ(screen.notes.back(), "Residual: largest 0.0 px, mean 0.0 px");

  // Ok keeps what was stored and leaves calibration mode.
  io.sent.clear();
  flow.OnButtonPress(960, 585);
  EXPECT_EQ(screen.buttons.back(), kButtonOk);
  flow.OnButtonRelease(960, 585);
  EXPECT_TRUE(flow.finished());
  EXPECT_EQ(io.Codes(), std::vector<unsigned long>{SET_START_CALIB});
  EXPECT_EQ(flow.failure(), "");
  EXPECT_EQ(output.Text(), "");  // no request reported as failed
}

TEST_F(SessionFlow, SixteenPointsVisitTheGridAndRecalibrateRestartsAtTheFirstTarget) {
  Start(true);
  TouchAllTargets(16);
  ASSERT_EQ(s.count, 16);
  EXPECT_EQ(s.targetX[1], 11468.80078125f);
  EXPECT_EQ(s.targetY[4], TargetUnits(378, 1080));
  EXPECT_EQ(s.targetX[15], TargetUnits(1824, 1920));
  EXPECT_EQ(io.Codes().front(), SET_CALIB_PARA_X);

  io.sent.clear();
  flow.OnButtonRelease(830, 585);  // ReCalibrate
  EXPECT_EQ(io.Codes(), std::vector<unsigned long>{SET_START_CALIB});
  EXPECT_EQ(io.sent[0].bytes, std::vector<std::uint8_t>{1});
  EXPECT_EQ(s.count, 0);
  EXPECT_FALSE(screen.pointer_shown);
  EXPECT_EQ(screen.crosshairs.back().y, 60u);
  EXPECT_EQ(screen.last_counter, 0);
  Contact(55, 34, 1);
  Play();
  EXPECT_EQ(screen.crosshairs.back().x, 96u);  // grid row 0, column 0
  EXPECT_EQ(screen.crosshairs.back().y, 54u);
}

TEST_F(SessionFlow, ButtonsAreDeadWhileCollectingButEscapeRestoresTheStartBlocks) {
  Start(false);
  TouchAllTargets(2);
  flow.OnButtonPress(960, 585);
  flow.OnButtonRelease(960, 585);
  EXPECT_TRUE(screen.buttons.empty());
  EXPECT_FALSE(flow.finished());

  flow.OnKeyPress(kEscapeKeysym);
  EXPECT_TRUE(flow.finished());
  EXPECT_EQ(flow.failure(), "");  // the user's choice, carried out
  ASSERT_EQ(io.Codes(),
            (std::vector<unsigned long>{SET_CALIB_PARA_X, SET_CALIB_PARA_Y, SET_DEVICE_CONFIG,
                                        SET_START_CALIB, DEVICE_RESET, SET_START_CALIB}));
  const ParamBlock x = Pattern(10), y = Pattern(80), c = Pattern(150);
  EXPECT_EQ(io.sent[0].bytes, std::vector<std::uint8_t>(x.begin(), x.end()));
  EXPECT_EQ(io.sent[1].bytes, std::vector<std::uint8_t>(y.begin(), y.end()));
  EXPECT_EQ(io.sent[2].bytes, std::vector<std::uint8_t>(c.begin(), c.end()));
}

TEST_F(SessionFlow, BlocksThatWereNotReadAreNeverWritten) {
  io.failing.insert(GET_CALIB_PARA_X);
  Start(false);
  EXPECT_FALSE(reads.calib_x);
  TouchAllTargets(4);
  EXPECT_TRUE(io.sent.empty());     // a fit with an unread block is not stored
  flow.OnButtonRelease(1090, 585);  // Cancel
  EXPECT_EQ(flow.failure(), "");
  EXPECT_EQ(io.Codes(),
            (std::vector<unsigned long>{SET_CALIB_PARA_Y, SET_DEVICE_CONFIG, SET_START_CALIB,
                                        DEVICE_RESET, SET_START_CALIB}));
}

TEST_F(SessionFlow, CollinearPassStoresNothingAndDisappearingNodeFinishes) {
  Start(false);
  for (int k = 0; k < 4; ++k) {
    Contact(100 + 1000 * k, 100 + 1000 * k, 101);
    Release();
  }
  Play();
  EXPECT_EQ(s.count, 4);
  EXPECT_TRUE(io.sent.empty());
  EXPECT_EQ(screen.buttons.back(), kNoButton);  // the result face stays

  io.failing.insert(SET_START_CALIB);
  EXPECT_EQ(flow.failure(), "");
  io.node_present = false;
  flow.Poll();
  EXPECT_TRUE(flow.finished());
  EXPECT_EQ(io.Codes(), std::vector<unsigned long>{SET_START_CALIB});
  std::rewind(out);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  EXPECT_STREQ(line, "SET_START_CALIB failed.\n");
  EXPECT_EQ(flow.failure(), "the controller was unplugged during the session");
}

// Ok ends with status 1 unless the last pass was stored.
TEST_F(SessionFlow, OkWithoutAStoredCalibrationFails) {
  const struct {
    bool collinear;
    unsigned long refused;
    const char* failure;
  } cases[] = {
      {true, 0, "nothing stored: the fit failed (are the touches in a line?)"},
      {false, GET_CALIB_PARA_Y, "nothing stored: the controller's parameters could not be read"},
      {false, SET_CALIB_PARA_X, "the controller refused to store the calibration"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    CalibSession session{};
    ReadStatus status;
    SimulatedCamera device;
    FakeScreen face;
    device.failing.insert(c.refused);
    ReadParameters(session, device, out, status);
    session.required = 4;
    CalibrationFlow run(session, status, device, face, kScreen, out);
    for (int k = 0; k < 4; ++k) {
      session.rawX[k] = c.collinear ? 100.0f * k : 100.0f * (k % 2);
      session.rawY[k] = c.collinear ? 100.0f * k : 100.0f * (k / 2);
      session.targetX[k] = 1000.0f * (k % 2);
      session.targetY[k] = 1000.0f * (k / 2);
    }
    session.count = 4;
    run.ShowStep();  // the result face says why nothing was stored
    ASSERT_EQ(face.notes.size(), 1u);
    EXPECT_EQ(face.notes[0], NotStoredText(c.failure));
    run.OnButtonRelease(960, 585);  // Ok
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(run.failure(), c.failure);
  }
}

}  // namespace
}  // namespace lumaro
