// The demo's start-up: mount the embedded archive, load and decipher the module (LZSS too)
// and build the player, load the twenty pictures (masks merged). Goal: at most 30 ms.
// Peer: the same bytes taken plainly from memory (no archive) and the twenty JPEGs decoded
// by libjpeg-turbo; "ratio" = peer time / our time. "peak_rss_mib" is the process's peak
// resident memory after the runs (the whole headless demo stays well below 16 MiB).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "demo/demo.h"
#include "fs/archive.h"
#include "host/host.h"
#include "sound/module.h"

namespace {

std::vector<std::uint8_t> pak_bytes() {
  std::ifstream in(VEXO_PAK, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const char* const kNames[20][2] = {
    {"01.jpg", nullptr}, {"02.jpg", nullptr}, {"03.jpg", nullptr}, {"04.jpg", nullptr}, {"05.jpg", nullptr},
    {"06.jpg", nullptr}, {"07.jpg", nullptr}, {"08.jpg", nullptr}, {"09.jpg", nullptr}, {"10.jpg", nullptr},
    {"11.jpg", nullptr}, {"12.jpg", nullptr}, {"13.jpg", nullptr}, {"14.jpg", nullptr}, {"15.jpg", nullptr},
    {"16.jpg", nullptr}, {"o4.jpg", "m4.jpg"}, {"o3.jpg", "m3.jpg"}, {"o5.jpg", "m5.jpg"}, {"logo.jpg", "mlogo.jpg"}};

// Mount, module, pictures, then everything released again.
void BM_VexoStartup(benchmark::State& state) {
  static std::vector<std::uint8_t> pak = pak_bytes();
  const EmbeddedBlock block{"FileSystem", 102, pak.data(), pak.size()};
  host_set_embedded_blocks({&block, 1});
  Picture pictures[20]{};
  for (auto _ : state) {
    archive_mount("vexo.pak");
    std::uint32_t size = 0;
    void* module = file_load_whole("vexo.xm", &size);
    auto player = module_load(module, size);
    benchmark::DoNotOptimize(player.get());
    for (int i = 0; i < 20; ++i) {
      if (kNames[i][1] == nullptr) picture_load(pictures[i], kNames[i][0]);
      else picture_load_masked(pictures[i], kNames[i][0], kNames[i][1]);
    }
    benchmark::ClobberMemory();
    for (Picture& p : pictures) picture_free(p);
    player.reset();
    std::free(module);
    archive_unmount();
  }
  host_set_embedded_blocks({});
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_mib"] = double(u.ru_maxrss) / 1024.0;
}

struct Plain {
  std::vector<std::vector<std::uint8_t>> files;  // the twenty-four JPEGs
  std::vector<std::uint8_t> module;
};

// The peer: the same data, already plain in memory; JPEGs through libjpeg-turbo.
void BM_PeerLibjpegTurbo(benchmark::State& state) {
  static Plain plain = [] {
    Plain p;
    std::vector<std::uint8_t> pak = pak_bytes();
    const EmbeddedBlock block{"FileSystem", 102, pak.data(), pak.size()};
    host_set_embedded_blocks({&block, 1});
    archive_mount("vexo.pak");
    auto take = [](const char* name) {
      std::uint32_t size = 0;
      auto* data = static_cast<std::uint8_t*>(file_load_whole(name, &size));
      std::vector<std::uint8_t> v(data, data + size);
      std::free(data);
      return v;
    };
    for (auto& n : kNames) {
      p.files.push_back(take(n[0]));
      if (n[1] != nullptr) p.files.push_back(take(n[1]));
    }
    p.module = take("vexo.xm");
    archive_unmount();
    host_set_embedded_blocks({});
    return p;
  }();
  std::vector<std::uint8_t> out(320 * 200 * 4);
  for (auto _ : state) {
    auto player = module_load(plain.module.data(), static_cast<std::uint32_t>(plain.module.size()));
    benchmark::DoNotOptimize(player.get());
    for (const auto& f : plain.files) {
      jpeg_decompress_struct d;
      jpeg_error_mgr e;
      d.err = jpeg_std_error(&e);
      jpeg_create_decompress(&d);
      jpeg_mem_src(&d, f.data(), f.size());
      jpeg_read_header(&d, TRUE);
      d.dct_method = JDCT_ISLOW;
      d.do_fancy_upsampling = FALSE;
      jpeg_start_decompress(&d);
      const std::size_t stride = std::size_t(d.output_width) * d.output_components;
      out.resize(stride * d.output_height);
      while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
      }
      jpeg_finish_decompress(&d);
      jpeg_destroy_decompress(&d);
    }
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_VexoStartup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerLibjpegTurbo)->Unit(benchmark::kMillisecond);

// Runs both and prints the ratio as the other benchmarks do.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  struct Reporter : benchmark::ConsoleReporter {
    double ours = 0, peer = 0;
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& r : runs) {
        const std::string name = r.benchmark_name();
        if (name.find("VexoStartup") != std::string::npos) ours = r.GetAdjustedRealTime();
        if (name.find("Peer") != std::string::npos) peer = r.GetAdjustedRealTime();
      }
      ConsoleReporter::ReportRuns(runs);
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.ours > 0 && reporter.peer > 0)
    std::printf("start-up: %.2f ms (goal 30 ms); peer (plain bytes, libjpeg-turbo) %.2f ms; ratio peer/ours %.2f\n",
                reporter.ours, reporter.peer, reporter.peer / reporter.ours);
  benchmark::Shutdown();
  return 0;
}
