// The median-cut quantiser on a 320x200 and a 1920x1080 picture (palette building and
// mapping, mapping also against the plain per-pixel search), and GIF decoding against
// stb_image. Ratios are kestol time / peer time: below 1 is faster than the peer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <vector>

#include "image/image_reader.h"
#include "image/quantise.h"
#include "tests/image_formats/gif_writer.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

// Thread CPU time: the ratios stay meaningful on a machine shared with other work.
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A smooth picture with a little noise, like a photo or a rendered demo frame.
std::vector<std::uint8_t> make_picture(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> px(std::size_t(w) * h * 3);
  std::uint32_t seed = 12345;
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      seed = seed * 1103515245 + 12345;
      const double fx = double(x) / w, fy = double(y) / h;
      const int noise = int(seed >> 28) - 8;
      std::uint8_t* p = &px[(std::size_t(y) * w + x) * 3];
      p[0] = std::uint8_t(std::clamp(int(127 + 120 * std::sin(fx * 7 + fy * 3)) + noise, 0, 255));
      p[1] = std::uint8_t(std::clamp(int(127 + 120 * std::cos(fy * 5 - fx * 2)) + noise, 0, 255));
      p[2] = std::uint8_t(std::clamp(int(255 * fx * fy) + noise, 0, 255));
    }
  return px;
}

template <typename Fn>
double seconds_per_run(Fn&& fn, int runs) {
  const double t0 = cpu_seconds();
  for (int i = 0; i < runs; ++i) fn();
  return (cpu_seconds() - t0) / runs;
}

void BM_BuildPalette(benchmark::State& state) {
  const auto w = std::uint32_t(state.range(0)), h = std::uint32_t(state.range(1));
  const auto px = make_picture(w, h);
  std::uint8_t palette[768];
  for (auto _ : state) benchmark::DoNotOptimize(build_palette(px.data(), w, h, w * 3, palette, 256));
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_BuildPalette)->Args({320, 200})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// Mapping against the plain search over all entries for every pixel.
void BM_MapToPalette(benchmark::State& state) {
  const auto w = std::uint32_t(state.range(0)), h = std::uint32_t(state.range(1));
  const auto px = make_picture(w, h);
  std::uint8_t palette[768];
  const std::uint32_t n = build_palette(px.data(), w, h, w * 3, palette, 256);
  std::vector<std::uint8_t> out(std::size_t(w) * h);
  const double plain = seconds_per_run(
      [&] {
        for (std::size_t i = 0; i < out.size(); ++i)
          out[i] = std::uint8_t(nearest_palette_index(palette, n, px[i * 3], px[i * 3 + 1], px[i * 3 + 2]));
        benchmark::DoNotOptimize(out.data());
      },
      1);
  const double t0 = cpu_seconds();
  for (auto _ : state) {
    map_to_palette(out.data(), w, px.data(), w * 3, w, h, palette, n);
    benchmark::DoNotOptimize(out.data());
  }
  const double ours = (cpu_seconds() - t0) / double(state.iterations());
  state.counters["vs_plain_search"] = ours / plain;
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_MapToPalette)->Args({320, 200})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

void BM_GifDecode(benchmark::State& state) {
  const auto w = std::uint32_t(state.range(0)), h = std::uint32_t(state.range(1));
  const auto px = make_picture(w, h);
  image_formats_test::GifSpec spec;
  spec.width = w;
  spec.height = h;
  spec.global_bits = 7;
  spec.global_table.resize(768);
  build_palette(px.data(), w, h, w * 3, spec.global_table.data(), 256);
  spec.pixels.resize(std::size_t(w) * h);
  map_to_palette(spec.pixels.data(), w, px.data(), w * 3, w, h, spec.global_table.data(), 256);
  const auto file = image_formats_test::make_gif(spec);

  std::vector<std::uint8_t> out(std::size_t(w) * h * 4);
  std::uint8_t palette[768];
  auto ours_once = [&] {
    MemoryByteSource src(file.data(), file.size());
    ImageReader reader(&src, nullptr);
    if (!reader.read_header() || !reader.decode(out.data(), PixelFormat::argb32, w * 4, palette))
      state.SkipWithError("decode failed");
  };
  auto stb_once = [&] {
    int x, y, c;
    stbi_uc* p = stbi_load_from_memory(file.data(), int(file.size()), &x, &y, &c, 4);
    benchmark::DoNotOptimize(p);
    stbi_image_free(p);
  };
  const int runs = w * h > 100000 ? 5 : 50;
  const double stb = seconds_per_run(stb_once, runs);
  const double t0 = cpu_seconds();
  for (auto _ : state) ours_once();
  const double ours = (cpu_seconds() - t0) / double(state.iterations());
  state.counters["vs_stb_image"] = ours / stb;
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_GifDecode)->Args({320, 200})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
