// Encoding a 1920x1080 screen at quality 80: one strip against strips on
// every core. Build with cmake -DGLIMMET_BENCH=ON; run build/bench/jpeg_encode.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "runtime/jpeg/ijl.h"
#include "runtime/jpeg/jpeg_encoder.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// A desktop-like scene: gradients, waves and flat window panels with some
// fine detail, bottom-up BGR as the DIB holds it.
const std::vector<std::uint8_t>& Screen() {
  static const std::vector<std::uint8_t> pixels = [] {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        std::uint8_t* q = p.data() + (static_cast<std::size_t>(kHeight - 1 - y) * kWidth + x) * 3;
        const bool panel = (x / 300 + y / 200) % 3 == 0;
        const bool text = panel && (y % 18 < 11) && ((x * 7 + y * 3) % 11 < 4);
        q[0] = text ? 20 : panel ? 240 : static_cast<std::uint8_t>(128 + 60 * std::sin(x / 40.0));
        q[1] = text ? 20 : panel ? 240 : static_cast<std::uint8_t>(255 * y / kHeight);
        q[2] = text ? 20 : panel ? 240 : static_cast<std::uint8_t>(255 * x / kWidth);
      }
    return p;
  }();
  return pixels;
}

void Encode(benchmark::State& state) {
  runtime::jpeg::Image image;
  image.width = kWidth;
  image.height = kHeight;
  image.step = -static_cast<std::ptrdiff_t>(kWidth) * 3;
  image.top = Screen().data() + static_cast<std::ptrdiff_t>(kHeight - 1) * kWidth * 3;
  const runtime::jpeg::Settings settings{80, runtime::IJL_420, static_cast<int>(state.range(0))};
  std::size_t bytes = 0;
  for (auto _ : state) {
    runtime::jpeg::EncodedJpeg out;
    if (runtime::jpeg::Encode(image, settings, out) != runtime::IJL_OK) state.SkipWithError("encode failed");
    bytes = out.Size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}

}  // namespace

// 1: one strip on one core; 0: the automatic choice (a strip per core).
BENCHMARK(Encode)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
