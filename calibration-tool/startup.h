// tapalign's start-up up to the display: the presence test, the node, the
// command line, the banner and usage text, "-reset", calibration mode and the
// start-up reads of the controller's blocks.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "calibration-tool/calib_session.h"
#include "driver-interface/device_io.h"

namespace lumaro {

enum class CommandLine {
  kFourPoints,     // no argument, or two or more (none is examined)
  kSixteenPoints,  // exactly "-a"
  kReset,          // "-reset"
  kUsage,          // any other single argument
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

void PrintBanner(std::FILE* out);
void PrintUsage(std::FILE* out);

struct StartupHooks {
  std::function<bool()> controller_attached;  // the USB presence test
  std::function<void()> clear_terminal;       // the shell command "clear"
};

// Runs start-up from the presence test to the saved copies of the blocks.
// True when the session goes on to the display: the node is open in s.fd, the
// controller is in calibration mode and `reads` tells which blocks were read.
// False when the process is to exit; the node is closed then, and *failure
// (when given) names what failed (no device, the node, the reset or
// calibration mode refused) or stays empty when the request was carried out.
bool BeginSession(CalibSession& s, ReadStatus& reads, DeviceIo& io, int argc,
                  const char* const* argv, std::FILE* out, const StartupHooks& hooks,
                  std::string* failure = nullptr);

}  // namespace lumaro
