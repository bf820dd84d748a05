#include "calibration-tool/startup.h"
#include "tests/unit/captured_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "calibration-common/tick.h"
#include "tests/unit/calibration/calib_fakes.h"

namespace lumaro {
namespace {

using fakes::SimulatedCamera;

using Captured = lumaro::test_support::CapturedOutput;

TEST(Console, BannerIsExact) {
  Captured out;
  PrintBanner(out.file());
  // Each row is built by appending: GCC 12 at -O3 warns, wrongly, on
  // "literal" + std::string temporaries (-Wrestrict).
  auto row = [](std::size_t indent, const std::string& text) {
    std::string line = "*";
    line.append(indent, ' ').append(text).append(74 - indent - text.size(), ' ').append("*\n");
    return line;
  };
  const std::string stars(76, '*'), blank = row(0, "");
  EXPECT_EQ(out.Text(), "\n" + stars + "\n" + blank + row(16, "Lumaro Device Calibration Utility") +
                            blank + blank + blank + row(23, "Version: 1.7.1310.2501") + blank +
                            stars + "\n\n");
}

TEST(Console, UsageTextIsExact) {
  Captured out;
  PrintUsage(out.file());
  EXPECT_EQ(out.Text(),
            "Usage: tapalign [OPTION] \n"
            "Defaultly, it use 4 points to calibrate the device.\n\n"
            "[OPTION]:\n"
            "\t-a            Use advance mode for 16 points;\n"
            "\t-reset        Reset the device for non-calibration status;\n"
            "\t--help        Display this help;\n\n"
            "Example: ./tapalign -a\n\n");
}

TEST(Console, OnlyASingleArgumentIsExamined) {
  auto parse = [](std::vector<const char*> argv) {
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  };
  EXPECT_EQ(parse({"tapalign"}), CommandLine::kFourPoints);
  EXPECT_EQ(parse({"tapalign", "-a"}), CommandLine::kSixteenPoints);
  EXPECT_EQ(parse({"tapalign", "-ab"}), CommandLine::kUsage);
  EXPECT_EQ(parse({"tapalign", "-"}), CommandLine::kUsage);
  EXPECT_EQ(parse({"tapalign", "-a", "x"}), CommandLine::kFourPoints);
  EXPECT_EQ(parse({"tapalign", "-reset"}), CommandLine::kReset);
}

class Startup : public ::testing::Test {
 protected:
  bool Begin(std::vector<const char*> argv) {
    const SessionStart start =
        BeginSession(s, reads, io, static_cast<int>(argv.size()), argv.data(), out.file(), hooks);
    failure = start.failure;
    return start.calibrate;
  }
  std::string failure;
  CalibSession s{};
  ReadStatus reads;
  SimulatedCamera io{"block 195 " + std::string(2 * kParamBlockSize, '1') + "\n"};
  Captured out;
  bool attached = true;
  int clears = 0;
  StartupHooks hooks{[this] { return attached; }, [this] { ++clears; }};
};

TEST_F(Startup, WithoutControllerEveryInvocationReportsNoDevice) {
  attached = false;
  EXPECT_FALSE(Begin({"tapalign", "--help"}));
  EXPECT_TRUE(out.Text().ends_with("****\n\nError: No device found!\n\n"));
  EXPECT_TRUE(io.sent.empty());
  EXPECT_EQ(failure, "no controller found on the USB bus");

  attached = true;
  io.open_fails = true;
  EXPECT_FALSE(Begin({"tapalign"}));
  EXPECT_EQ(failure, "cannot open /dev/lumaro: No such file or directory");

  // --version needs no controller and no node.
  attached = false;
  Captured version;
  const char* argv[] = {"tapalign", "--version"};
  const SessionStart start = BeginSession(s, reads, io, 2, argv, version.file(), hooks);
  EXPECT_FALSE(start.calibrate);
  EXPECT_EQ(start.failure, "");
  EXPECT_EQ(version.Text(), std::string("tapalign ") + kCalibVersion + "\n");
}

TEST_F(Startup, ResetSendsOnlyDeviceResetAndIsSilentWhenRefused) {
  EXPECT_FALSE(Begin({"tapalign", "-reset"}));
  EXPECT_EQ(io.Codes(), std::vector<unsigned long>{DEVICE_RESET});
  EXPECT_EQ(io.sent[0].bytes, std::vector<std::uint8_t>{1});
  EXPECT_TRUE(out.Text().ends_with("\n\n\nReset Done.\n"));
  EXPECT_EQ(clears, 1);
  EXPECT_EQ(io.closes, 1);
  EXPECT_EQ(failure, "");

  Captured quiet;
  io.failing.insert(DEVICE_RESET);
  const char* argv[] = {"tapalign", "-reset"};
  const SessionStart refused = BeginSession(s, reads, io, 2, argv, quiet.file(), hooks);
  EXPECT_FALSE(refused.calibrate);
  EXPECT_EQ(quiet.Text(), "");
  EXPECT_EQ(refused.failure, "the controller refused the reset");
}

TEST_F(Startup, AdvancedModeEntersCalibrationAndSavesTheBlocks) {
  ParamBlock x;
  x.fill(0x11);  // as the controller holds it
  io.failing.insert(GET_DEVICE_CONFIG);
  ASSERT_TRUE(Begin({"tapalign", "-a"}));
  EXPECT_EQ(s.required, 16);
  EXPECT_EQ(s.advanced, 1);
  EXPECT_EQ(io.Codes(), (std::vector<unsigned long>{SET_START_CALIB, GET_CALIB_PARA_X,
                                                    GET_CALIB_PARA_Y, GET_DEVICE_CONFIG}));
  EXPECT_EQ(s.savedCalibX, x);
  EXPECT_TRUE(reads.calib_x && reads.calib_y);
  EXPECT_FALSE(reads.device_config);
  EXPECT_EQ(out.Text(), "GET_DEVICE_CONFIG failed.\n");
}

TEST_F(Startup, RefusedCalibrationModeEndsSilently) {
  io.failing.insert(SET_START_CALIB);
  EXPECT_FALSE(Begin({"tapalign"}));
  EXPECT_EQ(io.Codes(), std::vector<unsigned long>{SET_START_CALIB});
  EXPECT_EQ(io.closes, 1);
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(failure, "the controller refused calibration mode");
}

TEST(Tick, PendingTickCutsThePacketWaitShortAndOnlyThat) {
  SimulatedCamera inner;
  TickGatedIo io(inner, GET_TOUCH_PACKET);
  touch_packet::Block packet{};
  std::array<std::uint8_t, 1> flag = {0};
  inner.QueuePacket(touch_packet::kContact, 1, 2);
  // The handler installed and SIGALRM blocked, as in the tools; the timer is
  // stopped at once so that only the raised tick arrives.
  ASSERT_TRUE(StartTicks());
  StopTicks();
  ASSERT_EQ(raise(SIGALRM), 0);  // held back until the packet wait
  EXPECT_EQ(io.Request(SimulatedCamera::kFd, SET_START_CALIB, flag), 0);
  EXPECT_FALSE(TakeTick());
  errno = 0;
  EXPECT_EQ(io.Request(SimulatedCamera::kFd, GET_TOUCH_PACKET, packet), -1);
  EXPECT_EQ(errno, EINTR);
  EXPECT_EQ(io.Request(SimulatedCamera::kFd, SET_START_CALIB, flag), 0);
  EXPECT_TRUE(TakeTick());
  EXPECT_FALSE(TakeTick());
  EXPECT_EQ(io.Request(SimulatedCamera::kFd, GET_TOUCH_PACKET, packet), 0);
  EXPECT_EQ(touch_packet::Y(packet), 2);
}

}  // namespace
}  // namespace lumaro
