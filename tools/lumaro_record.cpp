// lumaro-record [--frames N] [OUT]: records the camera controller at
// /dev/lumaro into a trace (standard output without OUT) until N frames have
// been read, a read fails, or SIGINT/SIGTERM.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver-interface/device_io.h"
#include "tools/recorder.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

constexpr char kUsage[] = "usage: lumaro-record [--frames N] [OUT]\n";

}  // namespace

int main(int argc, char** argv) {
  long frames = 0;
  const char* out_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      char* end = nullptr;
      frames = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || frames <= 0) {
        std::fprintf(stderr, "lumaro-record: --frames takes a number above 0\n%s", kUsage);
        return 2;
      }
    } else if (argv[i][0] == '-' || out_path != nullptr) {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      out_path = argv[i];
    }
  }
  std::FILE* out = stdout;
  if (out_path != nullptr && (out = std::fopen(out_path, "w")) == nullptr) {
    std::perror(out_path);
    return 1;
  }
  // Without SA_RESTART, so a waiting read returns and the recording ends.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  lumaro::SystemDeviceIo io;
  const lumaro::tools::RecordResult result = lumaro::tools::RecordTrace(io, out, frames, g_stop);
  std::fprintf(stderr, "lumaro-record: %ld frames recorded\n", result.frames);
  if (!result.ok) std::fprintf(stderr, "lumaro-record: %s\n", result.error.c_str());
  if (out != stdout && std::fclose(out) != 0) {
    std::perror(out_path);
    return 1;
  }
  return result.ok ? 0 : 1;
}
