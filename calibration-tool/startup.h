// tapalign's start-up up to the display: the presence test, the node, the
// command line, the banner and usage text, "-reset", calibration mode and the
// start-up reads of the controller's blocks.
#pragma once

#include <cstdio>
#include <functional>

#include "calibration-common/console.h"
#include "calibration-common/session_start.h"
#include "calibration-tool/calib_session.h"
#include "driver-interface/device_io.h"

namespace lumaro {

enum class CommandLine {
  kFourPoints,     // no argument, or two or more (none is examined)
  kSixteenPoints,  // exactly "-a"
  kReset,          // "-reset"
  kUsage,          // any other single argument
};

// Each option once: what it selects and how the usage text shows it.
inline constexpr CommandOption<CommandLine> kOptions[] = {
    {"-a", "-a", "Use advance mode for 16 points;", CommandLine::kSixteenPoints},
    {"-reset", "-reset", "Reset the device for non-calibration status;", CommandLine::kReset},
    {"--help", "--help", "Display this help;", CommandLine::kUsage},
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

void PrintBanner(std::FILE* out);
void PrintUsage(std::FILE* out);

struct StartupHooks {
  std::function<bool()> controller_attached;  // the USB presence test
  std::function<void()> clear_terminal;       // the shell command "clear"
};

// Runs start-up from the presence test to the saved copies of the blocks.
// It goes on to the display with the node open in s.fd, the controller in
// calibration mode and `reads` telling which blocks were read.
// Otherwise the process is to exit; the node is closed then, and the failure
// names what failed (no device, the node, the reset or calibration mode
// refused) or is empty when the request was carried out.
SessionStart BeginSession(CalibSession& s, ReadStatus& reads, DeviceIo& io, int argc,
                          const char* const* argv, std::FILE* out, const StartupHooks& hooks);

}  // namespace lumaro
