#include "calibration-common/interruption.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <utility>

#include "calibration-common/session_start.h"

namespace lumaro {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int signal) {
  g_stop_signal = signal;
}

const char* g_program = "";
std::function<DisplayLossEnd()> g_end_session;

extern "C" int OnIoError(Display* /*display*/) {
  const DisplayLossEnd end = g_end_session ? g_end_session() : DisplayLossEnd{};
  std::fflush(stdout);
  if (end.session_over) _exit(ExitStatus(g_program, end.failure, stderr));
  std::fprintf(
      stderr, "%s: the X display was lost; %s\n", g_program,
      end.failure.empty() ? "the controller is as it was before the session" : end.failure.c_str());
  std::fflush(stderr);
  _exit(1);
}

}  // namespace

bool CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  bool ok = true;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ok = sigaction(signal, &action, nullptr) == 0 && ok;
  return ok;
}

int StopSignal() {
  return g_stop_signal;
}

std::string StopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

int SessionStatus(const char* program, int signal, bool interrupted, const std::string& failure,
                  std::FILE* err) {
  if (signal == 0) return ExitStatus(program, failure, err);
  const char* outcome = interrupted ? "the controller is as it was before the session"
                                    : "the request was carried out first";
  std::fprintf(err, "%s: stopped by %s; %s\n", program, StopSignalName(signal).c_str(),
               failure.empty() ? outcome : failure.c_str());
  std::fflush(err);
  return 128 + signal;
}

void OnDisplayLost(const char* program, std::function<DisplayLossEnd()> end_session) {
  g_program = program;
  g_end_session = std::move(end_session);
  XSetIOErrorHandler(OnIoError);
}

void ForgetDisplayLoss() {
  XSetIOErrorHandler(nullptr);
  g_end_session = nullptr;
}

}  // namespace lumaro
