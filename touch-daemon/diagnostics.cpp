#include "touch-daemon/diagnostics.h"

#include <cstdarg>

namespace lumaro {

void DiagnosticSink::Line(const char* format, ...) {
  if (out_ == nullptr) return;  // a sink without a stream is silent
  va_list args;
  va_start(args, format);
  // A diagnostic that cannot be written is dropped; the daemon runs on.
  (void)std::vfprintf(out_, format, args);
  va_end(args);
  (void)std::fputc('\n', out_);
  (void)std::fflush(out_);
}

}  // namespace lumaro
