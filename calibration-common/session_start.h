// How a calibration tool's start-up and session end, the same in both tools:
// a start-up either goes on to the window or ends the process, and whatever
// kept the user's request from being carried out is one line of text.
#pragma once

#include <cstdio>
#include <string>

#include "calibration-common/versions.h"

namespace lumaro {

struct SessionStart {
  bool calibrate = false;  // go on to the window
  std::string failure;     // when not: what failed, empty when the request was carried out
};

// The exit status for `failure`: 0 when it is empty, else 1 with
// "PROGRAM: FAILURE" on `err`.
inline int ExitStatus(const char* program, const std::string& failure, std::FILE* err) {
  if (failure.empty()) return 0;
  std::fprintf(err, "%s: %s\n", program, failure.c_str());
  std::fflush(err);
  return 1;
}

}  // namespace lumaro
