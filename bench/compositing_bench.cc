// Compositing against memcpy of the same bytes (the memory-bandwidth limit). Each
// iteration times the operation and a memcpy of the same rows, interleaved, and reports
// the ratio "x_memcpy" = operation time / memcpy time (1.0 = as fast as memcpy).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/surface.h"

namespace {

enum Op { kBlit, kBlend, kAlpha, kFade, kFill };

void run(benchmark::State& state, Op op) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<std::uint32_t> dst(static_cast<std::size_t>(w) * h), src(dst.size()),
      copy(dst.size());
  std::mt19937 rng(7);
  for (auto& v : src) v = rng();
  for (auto& v : dst) v = rng();
  Surface s{dst.data(), w, h, w * 4};
  Picture p{src.data(), w, h};
  const std::size_t bytes = dst.size() * 4;
  using clock = std::chrono::steady_clock;
  double op_seconds = 0, memcpy_seconds = 0;
  for (auto _ : state) {
    auto t0 = clock::now();
    switch (op) {
      case kBlit: surface_blit(s, p, 0, 0); break;
      case kBlend: surface_blit_fade(s, p, 0, 0, 100); break;
      case kAlpha: surface_blit_alpha(s, p, 0, 0); break;
      case kFade: surface_fade(s, 200); break;
      case kFill: surface_fill_rect(s, 0, 0, w, h, 0x123456); break;
    }
    auto t1 = clock::now();
    std::memcpy(copy.data(), src.data(), bytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
    auto t2 = clock::now();
    double a = std::chrono::duration<double>(t1 - t0).count();
    op_seconds += a;
    memcpy_seconds += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(a);
    if (op == kFade) surface_clear(s, 0xFFFFFFFF);  // keep fading non-trivial data
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["x_memcpy"] = op_seconds / memcpy_seconds;
}

#define SIZES ->Args({320, 200})->Args({1920, 1080})->UseManualTime()
BENCHMARK_CAPTURE(run, blit, kBlit) SIZES;
BENCHMARK_CAPTURE(run, blend_fade_level, kBlend) SIZES;
BENCHMARK_CAPTURE(run, blit_alpha, kAlpha) SIZES;
BENCHMARK_CAPTURE(run, surface_fade, kFade) SIZES;
BENCHMARK_CAPTURE(run, fill_rect, kFill) SIZES;

}  // namespace

BENCHMARK_MAIN();
