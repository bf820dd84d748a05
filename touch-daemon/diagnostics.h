// The daemon's diagnostics: single lines, each flushed at once so that it
// reaches a pipe while the process keeps running (it is stopped by a signal
// and never exits to flush its buffers).
#pragma once

#include <cstdio>

namespace lumaro {

class DiagnosticSink {
 public:
  // A null stream makes a silent sink.
  explicit DiagnosticSink(std::FILE* out) : out_(out) {}

  // Prints one line: the formatted text and a newline.
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::FILE* out_;
};

}  // namespace lumaro
