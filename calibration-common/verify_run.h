// "--verify": both calibration tools check the calibration in force through
// the whole chain. The tool shows kVerifyTargets in turn and reads what the
// applications receive, the daemon's reports, from its monitor stream; each
// touch's error in pixels is shown, then the verdict against the tolerance.
#pragma once

namespace lumaro {

// The default socket of the daemon's monitor stream.
inline constexpr char kDefaultMonitorPath[] = "/run/lumaro/monitor";

// argv[1] is "--verify"; then "--tolerance PX" and "--monitor PATH" in any
// order. Returns the exit status: 0 when every error is within the
// tolerance, 1 when one is not, when the pass was not completed (Escape,
// the stream ended) or cannot start (no stream, no display, a bad option),
// 128 + the signal for SIGINT, SIGTERM and SIGHUP; each failure with one
// line on standard error.
int RunVerify(const char* program, int argc, const char* const* argv, const char* font_name);

}  // namespace lumaro
