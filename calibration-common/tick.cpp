#include "calibration-common/tick.h"

#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <csignal>

namespace lumaro {
namespace {

volatile std::sig_atomic_t g_tick = 0;

extern "C" void OnAlarm(int /*signal*/) {
  g_tick = 1;
}

void SetAlarmMask(int how) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGALRM);
  sigprocmask(how, &set, nullptr);
}

}  // namespace

bool StartTicks() {
  SetAlarmMask(SIG_BLOCK);
  struct sigaction action = {};
  action.sa_handler = OnAlarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting request returns on the tick
  if (sigaction(SIGALRM, &action, nullptr) != 0) return false;
  const itimerval period = {{0, kTickMicroseconds}, {0, kTickMicroseconds}};
  return setitimer(ITIMER_REAL, &period, nullptr) == 0;
}

void StopTicks() {
  const itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
}

bool TakeTick() {
  if (g_tick == 0) return false;
  g_tick = 0;
  return true;
}

int TickGatedIo::Ioctl(int fd, unsigned long request, void* block) {
  if (request != waiting_request_) return inner_.Ioctl(fd, request, block);
  SetAlarmMask(SIG_UNBLOCK);  // a tick blocked meanwhile is handled here
  int result;
  if (g_tick != 0) {
    errno = EINTR;
    result = -1;
  } else {
    result = inner_.Ioctl(fd, request, block);
  }
  const int saved = errno;
  SetAlarmMask(SIG_BLOCK);
  errno = saved;
  return result;
}

}  // namespace lumaro
