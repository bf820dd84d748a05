// tapalign-classic's start-up up to the display: the node, the configuration
// read, the command line with "--reset", the banner and usage text, and the
// start of point collection.
#pragma once

#include <cstdio>
#include <functional>

#include "calibration-common/console.h"
#include "calibration-common/session_start.h"
#include "classic-calibration-tool/classic_context.h"

namespace lumaro {

enum class ClassicCommand {
  kCalibrate,  // no argument, or two or more (none is examined)
  kReset,      // "--reset", or "-reset" as the usage text spells it
  kUsage,      // any other single argument, "--help" included
};

// The usage text names the reset "-reset"; both spellings select it.
inline constexpr CommandOption<ClassicCommand> kClassicOptions[] = {
    {"--reset", "-reset", "Reset the device for non-calibration status.", ClassicCommand::kReset},
    {"-reset", nullptr, nullptr, ClassicCommand::kReset},
    {"--help", "--help", "Display this help and exit", ClassicCommand::kUsage},
};

ClassicCommand ParseClassicCommandLine(int argc, const char* const* argv);

void ClassicBanner(std::FILE* out);
void ClassicUsage(std::FILE* out);

// Opens /dev/LumaroClassic into ch.fd, reads the configuration and acts on
// the command line. It goes on to the display with CLASSIC_CALIB_BEGIN sent,
// raw_span copied and point_count 4. Otherwise (no node, "--reset", usage)
// the process is to exit: the node is closed, and the failure names what
// failed (the node could not be opened, the reset not stored) or is empty.
// `clear_terminal` runs the shell command "clear".
SessionStart BeginClassic(ClassicContext& c, ClassicChannel& ch, int argc, const char* const* argv,
                          std::FILE* out, const std::function<void()>& clear_terminal);

}  // namespace lumaro
