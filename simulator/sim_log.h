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
  // A line could not be written.
  bool failed() const { return failed_; }

 private:
  std::mutex mutex_;
  std::FILE* out_;
  bool failed_ = false;
};

}  // namespace lumaro::sim
