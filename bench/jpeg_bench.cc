// JPEG decoding against libjpeg-turbo (integer transform, no fancy upsampling) and
// stb_image, on 1920 x 1080 pictures (4:2:0 and 4:4:4, from our encoder and from
// libjpeg's) and on the demo's 320 x 200. Each peer row reports its time as a counter;
// the "ratio" counters are peer time / our time (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <csetjmp>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "image/image_reader.h"
#include "authoring/jpeg_encoder.h"

#include <stb/stb_image.h>  // Debian's libstb build

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> scene(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> p(std::size_t(w) * h * 3);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      double fx = x / double(w), fy = y / double(h);
      std::uint8_t* q = &p[(std::size_t(y) * w + x) * 3];
      q[0] = std::uint8_t(127 + 120 * std::sin(fx * 17 + std::cos(fy * 9)));
      q[1] = std::uint8_t(127 + 120 * std::sin(fy * 23 + fx * 5));
      q[2] = std::uint8_t(((x >> 4) ^ (y >> 4)) & 1 ? 200 : 60);
    }
  return p;
}

Bytes libjpeg_encode(const std::vector<std::uint8_t>& rgb, std::uint32_t w, std::uint32_t h,
                     bool subsample) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = subsample ? 2 : 1;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < h) {
    JSAMPROW row = const_cast<std::uint8_t*>(&rgb[std::size_t(c.next_scanline) * w * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&c);
  std::free(mem);
  return out;
}

struct Fixture {
  Bytes file;
  std::uint32_t w, h;
};

const Fixture& fixture(int id) {
  static std::map<int, Fixture> cache;
  auto it = cache.find(id);
  if (it != cache.end()) return it->second;
  std::uint32_t w = id >= 4 ? 320 : 1920, h = id >= 4 ? 200 : 1080;
  auto rgb = scene(w, h);
  Fixture f{{}, w, h};
  bool subsample = id % 2 == 0;
  if (id < 2 || id >= 4) {
    JpegEncodeOptions o;
    o.quality = 90;
    o.sampling = subsample ? JpegSampling::s2x2 : JpegSampling::s1x1;
    jpeg_encode(rgb.data(), PixelFormat::rgb24, w, h, w * 3, o, f.file);
  } else {
    f.file = libjpeg_encode(rgb, w, h, subsample);
  }
  return cache[id] = std::move(f);
}

// 0: ours 4:2:0, 1: ours 4:4:4, 2: libjpeg 4:2:0, 3: libjpeg 4:4:4, 4: demo-size 4:2:0
const char* fixture_name(int id) {
  static const char* names[] = {"1080p_420_own", "1080p_444_own", "1080p_420_libjpeg",
                                "1080p_444_libjpeg", "320x200_420_own"};
  return names[id];
}

// Nanoseconds per decode, by decoder (0 ours, 1 libjpeg-turbo, 2 stb_image) and fixture.
double measured[3][5];

// Thread CPU time: on a shared machine it is steadier than wall time.
double cpu_ns() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

struct Timer {
  benchmark::State& state;
  double& slot;
  double start = cpu_ns();
  ~Timer() {
    if (state.iterations()) slot = (cpu_ns() - start) / double(state.iterations());
  }
};

void BM_kestol(benchmark::State& state) {
  const Fixture& f = fixture(int(state.range(0)));
  std::vector<std::uint8_t> out(std::size_t(f.w) * f.h * 3);
  Timer t{state, measured[0][state.range(0)]};
  for (auto _ : state) {
    MemoryByteSource src(f.file.data(), f.file.size());
    ImageReader reader(&src, nullptr);
    if (!reader.read_header() || !reader.decode(out.data(), PixelFormat::rgb24, f.w * 3, nullptr))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(fixture_name(int(state.range(0))));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void BM_libjpeg_turbo(benchmark::State& state) {
  const Fixture& f = fixture(int(state.range(0)));
  std::vector<std::uint8_t> out(std::size_t(f.w) * f.h * 3);
  Timer t{state, measured[1][state.range(0)]};
  for (auto _ : state) {
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, f.file.data(), f.file.size());
    jpeg_read_header(&c, TRUE);
    c.dct_method = JDCT_ISLOW;
    c.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
      JSAMPROW row = &out[std::size_t(c.output_scanline) * f.w * 3];
      jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(fixture_name(int(state.range(0))));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void BM_stb_image(benchmark::State& state) {
  const Fixture& f = fixture(int(state.range(0)));
  Timer t{state, measured[2][state.range(0)]};
  for (auto _ : state) {
    int w, h, n;
    unsigned char* p = stbi_load_from_memory(f.file.data(), int(f.file.size()), &w, &h, &n, 3);
    if (!p) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(p);
    stbi_image_free(p);
  }
  state.SetLabel(fixture_name(int(state.range(0))));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * f.w * f.h * 3);
}

BENCHMARK(BM_kestol)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_libjpeg_turbo)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_stb_image)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nratios (peer CPU time / kestol CPU time; above 1 means kestol is faster):\n");
  std::printf("%-20s %14s %10s\n", "picture", "libjpeg-turbo", "stb_image");
  for (int id = 0; id < 5; ++id) {
    if (measured[0][id] <= 0) continue;
    std::printf("%-20s %14.2f %10.2f\n", fixture_name(id), measured[1][id] / measured[0][id],
                measured[2][id] / measured[0][id]);
  }
  return 0;
}
