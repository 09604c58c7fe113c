// Resampling a 3840x2160 DIB to 1920x1080 (bilinear, the picture class's
// own arithmetic). Build with cmake -DGLIMMET_BENCH=ON; run build/bench/resample.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "output/c_dib_section.h"

namespace {

void Resample4KToFullHd(benchmark::State& state) {
  output::cDIBSection source;
  if (!source.Create(3840, 2160)) {
    state.SkipWithError("cannot create the source");
    return;
  }
  source.RandomiseBits(false);
  for (auto _ : state) {
    auto half = source.Resample(1080, 1920);
    if (!half) state.SkipWithError("cannot create the destination");
    benchmark::DoNotOptimize(half->DIBSectionBitsPtr());
  }
  state.counters["dest_pixels/s"] =
      benchmark::Counter(1920.0 * 1080.0, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(Resample4KToFullHd)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
