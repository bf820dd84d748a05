#include "calibration-tool/startup.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "calibration-tool/calib_params.h"
#include "driver-interface/requests.h"

namespace lumaro {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  if (argc != 2) return CommandLine::kFourPoints;
  if (std::strcmp(argv[1], "-reset") == 0) return CommandLine::kReset;
  if (std::strcmp(argv[1], "-a") == 0) return CommandLine::kSixteenPoints;
  return CommandLine::kUsage;
}

void PrintBanner(std::FILE* out) {
  static constexpr char kStars[] =
      "****************************************************************************";
  static constexpr char kBlankRow[] =
      "*                                                                          *";
  std::fputs("\n", out);
  std::fprintf(out, "%s\n", kStars);
  std::fprintf(out, "%s\n", kBlankRow);
  std::fprintf(out, "*%16s%-58s*\n", "", "Lumaro Device Calibration Utility");
  for (int i = 0; i < 3; ++i) std::fprintf(out, "%s\n", kBlankRow);
  std::fprintf(out,
               "*                       Version: %d.%d.%04d.%04d                             *\n",
               1, 7, 1310, 2501);
  std::fprintf(out, "%s\n", kBlankRow);
  std::fprintf(out, "%s\n\n", kStars);
  std::fflush(out);
}

void PrintUsage(std::FILE* out) {
  static constexpr const char* kLines[] = {
      "Usage: tapalign [OPTION] ",
      "Defaultly, it use 4 points to calibrate the device.\n",
      "[OPTION]:",
      "\t-a            Use advance mode for 16 points;",
      "\t-reset        Reset the device for non-calibration status;",
      "\t--help        Display this help;\n",
      "Example: ./tapalign -a\n",
  };
  for (const char* line : kLines) std::fprintf(out, "%s\n", line);
  std::fflush(out);
}

bool BeginSession(CalibSession& s, ReadStatus& reads, DeviceIo& io, int argc,
                  const char* const* argv, std::FILE* out, const StartupHooks& hooks,
                  std::string* failure) {
  std::string unused;
  if (failure == nullptr) failure = &unused;
  failure->clear();
  if (!hooks.controller_attached()) {
    PrintBanner(out);
    std::fputs("Error: No device found!\n\n", out);
    std::fflush(out);
    *failure = "no controller found on the USB bus";
    return false;
  }
  s.fd = io.Open(kTouchNodePath, O_RDWR);
  if (s.fd < 0) {
    *failure = std::string("cannot open ") + kTouchNodePath + ": " + std::strerror(errno);
    return false;
  }
  s.required = kBasicPoints;
  s.advanced = 0;

  switch (ParseCommandLine(argc, argv)) {
    case CommandLine::kReset: {
      std::array<std::uint8_t, kFlagByteSize> flag = {1};
      if (io.Request(s.fd, DEVICE_RESET, flag) == 0) {
        hooks.clear_terminal();
        PrintBanner(out);
        std::fputs("\nReset Done.\n", out);
        std::fflush(out);
      } else {
        *failure = "the controller refused the reset";
      }
      io.Close(s.fd);
      return false;
    }
    case CommandLine::kUsage:
      hooks.clear_terminal();
      PrintBanner(out);
      PrintUsage(out);
      io.Close(s.fd);
      return false;
    case CommandLine::kSixteenPoints:
      s.required = kAdvancedPoints;
      s.advanced = 1;
      break;
    case CommandLine::kFourPoints:
      break;
  }

  std::array<std::uint8_t, kFlagByteSize> enter = {1};
  if (io.Request(s.fd, SET_START_CALIB, enter) < 0) {
    *failure = "the controller refused calibration mode";
    io.Close(s.fd);
    return false;
  }
  ReadParameters(s, io, out, reads);
  SaveParameters(s);
  return true;
}

}  // namespace lumaro
