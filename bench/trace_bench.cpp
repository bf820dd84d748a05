// Parsing speed of the trace reader: replays and soak tests read traces of
// hundreds of thousands of frames.
#include <benchmark/benchmark.h>

#include <string>

#include "trace/trace.h"

namespace {

std::string MakeTrace(int frames) {
  std::string text = "lumaro-trace 1\nproduct 0x0c20\n";
  for (int i = 0; i < frames; ++i) {
    text += (i % 2 == 0) ? "frame 000001090096fe56131a0d\n" : "frame 000001090196fe56131a0d\n";
  }
  return text;
}

void BM_ParseTrace(benchmark::State& state) {
  const std::string text = MakeTrace(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    lumaro::trace::Trace trace;
    std::string error;
    benchmark::DoNotOptimize(lumaro::trace::ParseTrace(text, &trace, &error));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseTrace)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
