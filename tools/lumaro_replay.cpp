// lumaro-replay TRACE: runs the daemon's own loop, set-up, intake, engine,
// filters and report writer over a recorded trace, offline. Each report the
// daemon would have written is printed on standard output as
// "report <hex>"; the daemon's diagnostics go to standard error.
#include <cstdio>
#include <string>

#include "tools/replay.h"
#include "trace/trace.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: lumaro-replay TRACE\n");
    return 2;
  }
  lumaro::trace::Trace trace;
  std::string error;
  if (!lumaro::trace::LoadTraceFile(argv[1], &trace, &error)) {
    std::fprintf(stderr, "lumaro-replay: %s\n", error.c_str());
    return 2;
  }
  lumaro::tools::Replay(trace, {.reports = stdout, .diagnostics = stderr});
  return std::fflush(stdout) == 0 ? 0 : 1;
}
