// fuzz-seed TRACE OUT: the daemon harness's input (fuzz_daemon.cpp gives its
// layout) for a trace: its blocks, its frames and read errors, so that
// rendered scenes seed the corpus. A seed stops at about 8 KB: a few hundred
// frames, touches among them, keep each run of the fuzzer short.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz-seed TRACE OUT\n");
    return 2;
  }
  lumaro::trace::Trace trace;
  std::string error;
  std::string text;
  if (!lumaro::cli::ReadInput(argv[1], &text, &error) ||
      !lumaro::trace::ParseTrace(text, &trace, &error)) {
    std::fprintf(stderr, "fuzz-seed: %s\n", error.c_str());
    return 2;
  }
  lumaro::trace::ControllerState state;
  lumaro::trace::Playback playback(&trace);
  playback.ApplyState(&state);
  std::vector<std::uint8_t> out = {
      static_cast<std::uint8_t>(state.product_id == lumaro::kCameraProductId ? 0 : 1)};
  for (unsigned long code : lumaro::kCameraBlockRequests) {
    const std::vector<std::uint8_t> block =
        state.Block(static_cast<std::uint32_t>(code), lumaro::kParamBlockSize);
    out.insert(out.end(), block.begin(), block.end());
  }
  constexpr std::size_t kSeedBytes = 8192;
  for (const lumaro::trace::Record& r : trace.records) {
    if (out.size() >= kSeedBytes) break;
    if (r.kind == lumaro::trace::RecordKind::kFrame) {
      const std::size_t n = r.bytes.size() - 1;  // the harness adds 1 to the length
      out.insert(out.end(),
                 {0, static_cast<std::uint8_t>(n & 0xff), static_cast<std::uint8_t>(n >> 8)});
      out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    } else if (r.kind == lumaro::trace::RecordKind::kReadError) {
      out.insert(out.end(), {1, static_cast<std::uint8_t>(r.value)});
    }
  }
  std::FILE* f = std::fopen(argv[2], "wb");
  if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size() ||
      std::fclose(f) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
