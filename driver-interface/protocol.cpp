#include "driver-interface/protocol.h"

#include <cerrno>
#include <cstring>

namespace lumaro {

ReadOutcome ClassifyRead(ssize_t n, int error) {
  if (n > 0) return ReadOutcome::kFrame;
  if (n == kTimedOutReadResult || (n < 0 && (error == ETIMEDOUT || error == ETIME))) {
    return ReadOutcome::kTimedOut;
  }
  return ReadOutcome::kSessionEnd;
}

int ReadErrorNumber(ssize_t n, int error) {
  return n == kTimedOutReadResult ? ETIMEDOUT : error;
}

std::string ErrorName(int error) {
  const char* name = strerrorname_np(error);
  return (name != nullptr ? std::string(name) : "errno " + std::to_string(error)) + " (" +
         std::strerror(error) + ")";
}

}  // namespace lumaro
