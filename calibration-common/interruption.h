// How a calibration session ends early. SIGINT, SIGTERM and SIGHUP only
// record the signal; the main loop then ends the session as Escape does and
// the tool exits with 128 + the signal. A lost X display cannot wait for the
// loop: Xlib's IO error handler must not return, so the handler puts the
// controller back itself, through the device only, and ends the process.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace lumaro {

// Installs the handlers of SIGINT, SIGTERM and SIGHUP. They restart
// interrupted requests: the loop notices the signal within one tick, and a
// record write in progress runs to its end. False when one cannot be set.
bool CatchStopSignals();
// The last stop signal caught, 0 while none was.
int StopSignal();
// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string StopSignalName(int signal);

// The exit status of a session that a stop signal `signal` ended: 128 +
// signal, with one line on `err` naming the signal and what the controller
// holds. `interrupted`: the session was ended by the signal (the parameters
// of the start put back); otherwise it had ended first. `failure` is what
// kept the request or the putting back from being carried out, empty when it
// was. With `signal` 0 this is ExitStatus(program, failure, err).
int SessionStatus(const char* program, int signal, bool interrupted, const std::string& failure,
                  std::FILE* err);

// What ending the session on a lost display found: whether the session had
// already ended (then nothing was put back), and what failed, empty if nothing.
struct DisplayLossEnd {
  bool session_over = false;
  std::string failure;
};

// From now on a lost display runs `end_session` (device requests only), then
// exits: with status 1 and one line on standard error when the session was
// still running, else with the session's own status.
void OnDisplayLost(const char* program, std::function<DisplayLossEnd()> end_session);
// The display is gone on purpose: back to Xlib's handler.
void ForgetDisplayLoss();

}  // namespace lumaro
