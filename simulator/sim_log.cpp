#include "simulator/sim_log.h"

namespace lumaro::sim {

void SimLog::Line(const std::string& line) {
  if (out_ == nullptr) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  if (std::fflush(out_) != 0) failed_ = true;
}

}  // namespace lumaro::sim
