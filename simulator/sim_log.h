// The simulator's log: one line per request, report and playback event,
// flushed at once so that a test can wait for a line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace lumaro::sim {

class SimLog {
 public:
  explicit SimLog(std::FILE* out) : out_(out) {}
  void Line(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* out_;
};

}  // namespace lumaro::sim
