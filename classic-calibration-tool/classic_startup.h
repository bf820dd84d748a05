// tapalign-classic's start-up up to the display: the node, the configuration
// read, the command line with "--reset", the banner and usage text, and the
// start of point collection.
#pragma once

#include <cstdio>
#include <functional>

#include "classic-calibration-tool/classic_context.h"

namespace lumaro {

enum class ClassicCommand {
  kCalibrate,  // no argument, or two or more (none is examined)
  kReset,      // exactly "--reset"
  kUsage,      // any other single argument, "-reset" and "--help" included
};

ClassicCommand ParseClassicCommandLine(int argc, const char* const* argv);

void ClassicBanner(std::FILE* out);
void ClassicUsage(std::FILE* out);

// Opens /dev/LumaroClassic into c.fd and ch.fd, reads the configuration and
// acts on the command line. True when the calibration goes on to the display:
// CLASSIC_CALIB_BEGIN has been sent, raw_span copied, point_count 4. False
// when the process is to exit (no node, "--reset", usage); the node is closed
// then, and *failed (when given) tells whether the request failed: the node
// could not be opened or the reset not stored. Each failure is named in one
// line on `err`. `clear_terminal` runs the shell command "clear".
bool BeginClassic(ClassicContext& c, ClassicChannel& ch, int argc, const char* const* argv,
                  std::FILE* out, std::FILE* err, const std::function<void()>& clear_terminal,
                  bool* failed = nullptr);

}  // namespace lumaro
