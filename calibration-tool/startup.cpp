#include "calibration-tool/startup.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "calibration-tool/calib_params.h"
#include "driver-interface/requests.h"

namespace lumaro {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  return ParseCommand<CommandLine>(kOptions, argc, argv, CommandLine::kFourPoints,
                                   CommandLine::kUsage);
}

void PrintBanner(std::FILE* out) {
  PrintBannerText(out, {16, "Lumaro Device Calibration Utility", 3, 23, kCalibVersion});
}

void PrintUsage(std::FILE* out) {
  static constexpr const char* kPreamble[] = {
      "Usage: tapalign [OPTION] ",
      "Defaultly, it use 4 points to calibrate the device.\n",
  };
  PrintUsageText<CommandLine>(out, {kPreamble, 14, "Example: ./tapalign -a"}, kOptions);
}

SessionStart BeginSession(CalibSession& s, ReadStatus& reads, DeviceIo& io, int argc,
                          const char* const* argv, std::FILE* out, const StartupHooks& hooks) {
  if (AnswerVersion(argc, argv, "tapalign", kCalibVersion, out)) return {};
  if (!hooks.controller_attached()) {
    PrintBanner(out);
    std::fputs("Error: No device found!\n\n", out);
    std::fflush(out);
    return {false, "no controller found on the USB bus"};
  }
  s.fd = io.Open(kTouchNodePath, O_RDWR);
  if (s.fd < 0) {
    return {false, std::string("cannot open ") + kTouchNodePath + ": " + std::strerror(errno)};
  }
  s.required = kBasicPoints;
  s.advanced = 0;

  switch (ParseCommandLine(argc, argv)) {
    case CommandLine::kReset: {
      SessionStart reset;
      std::array<std::uint8_t, kFlagByteSize> flag = {1};
      if (io.Request(s.fd, DEVICE_RESET, flag) == 0) {
        hooks.clear_terminal();
        PrintBanner(out);
        std::fputs("\nReset Done.\n", out);
        std::fflush(out);
      } else {
        reset.failure = "the controller refused the reset";
      }
      io.Close(s.fd);
      return reset;
    }
    case CommandLine::kUsage:
      hooks.clear_terminal();
      PrintBanner(out);
      PrintUsage(out);
      io.Close(s.fd);
      return {};
    case CommandLine::kSixteenPoints:
      s.required = kAdvancedPoints;
      s.advanced = 1;
      break;
    case CommandLine::kFourPoints:
      break;
  }

  std::array<std::uint8_t, kFlagByteSize> enter = {1};
  if (io.Request(s.fd, SET_START_CALIB, enter) < 0) {
    io.Close(s.fd);
    return {false, "the controller refused calibration mode"};
  }
  ReadParameters(s, io, out, reads);
  SaveParameters(s);
  return {true, ""};
}

}  // namespace lumaro
