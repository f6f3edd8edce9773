// Rendering real modules to memory: Kestol against libxmp (linear interpolation) and
// libopenmpt (linear filter), as real-time factors and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/render.h"
#include "authoring/xm_writer.h"

#if KESTOL_HAVE_XMP
#include <xmp.h>
#endif
#if KESTOL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

constexpr int render_seconds = 30;
constexpr int chunks = render_seconds * mix_rate / chunk_frames;

struct Module {
  std::string name;
  std::vector<char> bytes;
};
std::vector<Module> modules;
std::map<std::string, std::map<std::string, double>> rtf;  // module -> player -> real-time factor

// A stand-in when no real modules are installed: 8 channels of looped notes.
std::vector<char> synthetic_module() {
  XmModule m;
  m.channels = 8;
  m.orders = {0};
  XmPattern p;
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < 8; ++c)
      if ((r + c) % 4 == 0) p.at(r, c, 8) = {static_cast<std::uint8_t>(30 + (r * 7 + c * 5) % 40), 1, 0, 0, 0};
  m.patterns.push_back(p);
  XmInstrument ins;
  XmSample s;
  for (int i = 0; i < 4000; ++i) s.data.push_back(static_cast<std::int16_t>((i * 131) % 30000 - 15000));
  s.loop = 1;
  s.loop_start = 1000;
  s.loop_length = 3000;
  ins.samples.push_back(s);
  m.instruments.push_back(ins);
  const auto b = xm_write(m);
  return {b.begin(), b.end()};
}

void load_modules() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/usr/share/games/bomberclone/music", ec)) {
    if (e.path().extension() != ".xm") continue;
    std::ifstream in(e.path(), std::ios::binary);
    modules.push_back({e.path().filename().string(), {std::istreambuf_iterator<char>(in), {}}});
  }
  std::sort(modules.begin(), modules.end(), [](const Module& a, const Module& b) { return a.name < b.name; });
  if (modules.empty()) modules.push_back({"synthetic.xm", synthetic_module()});
}

// CPU time of this thread: the machine is shared, and wall time would measure the others.
double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

template <typename Render>
void measure(benchmark::State& state, const Module& m, const char* player, Render render) {
  double seconds = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    render();
    seconds += thread_seconds() - t0;
  }
  const double factor = render_seconds * static_cast<double>(state.iterations()) / seconds;
  state.counters["realtime_x"] = factor;
  rtf[m.name][player] = factor;
}

template <ReplayMode mode>
void kestol(benchmark::State& state, const Module* m) {
  measure(state, *m, mode == ReplayMode::ft2 ? "kestol-ft2" : "kestol", [m] {
    auto player = module_load(m->bytes.data(), static_cast<std::uint32_t>(m->bytes.size()));
    player_set_replay_mode(*player, mode);
    OfflineRenderer r(*player);
    std::int16_t pcm[2 * chunk_frames];
    for (int i = 0; i < chunks; ++i) r.render_chunk(pcm, false);
    benchmark::DoNotOptimize(pcm[0]);
  });
}

// Seeking to the song's end against rendering to it: both from the start, CPU seconds, each
// the fastest of the iterations (this machine's speed wanders: the fastest is the least
// disturbed).
std::map<std::string, std::pair<double, double>> seek_costs;  // module and replay -> (seek, render)

template <ReplayMode mode>
void seek_to_end(benchmark::State& state, const Module* m) {
  auto player = module_load(m->bytes.data(), static_cast<std::uint32_t>(m->bytes.size()));
  player_set_replay_mode(*player, mode);
  const std::uint64_t end = [&] {
    OfflineRenderer r(*player);
    std::int16_t pcm[2 * chunk_frames];
    while (!r.finished() && r.frames_rendered() < 3600ull * mix_rate) r.render_chunk(pcm, true);
    return r.frames_rendered();
  }();
  // A seek takes about a millisecond: it is timed over several runs, so a pause of the
  // machine's weighs no more on it than on the render.
  constexpr int seeks = 10;
  double seek = 1e9, render = 1e9;
  for (auto _ : state) {
    double t0 = thread_seconds();
    for (int i = 0; i < seeks; ++i) {
      OfflineRenderer r(*player);
      r.seek_frame(end);
      benchmark::DoNotOptimize(player->voices[0].position);
    }
    seek = std::min(seek, (thread_seconds() - t0) / seeks);
    t0 = thread_seconds();
    {
      OfflineRenderer r(*player);
      std::int16_t pcm[2 * chunk_frames];
      while (r.frames_rendered() < end) r.render_chunk(pcm, false);
      benchmark::DoNotOptimize(pcm[0]);
    }
    render = std::min(render, thread_seconds() - t0);
  }
  state.counters["song_s"] = static_cast<double>(end) / mix_rate;
  state.counters["seek_ms"] = 1000.0 * seek;
  state.counters["seek_pct_of_render"] = 100.0 * seek / render;
  seek_costs[m->name + (mode == ReplayMode::ft2 ? " (ft2)" : "")] = {seek, render};
}

#if KESTOL_HAVE_XMP
void libxmp(benchmark::State& state, const Module* m) {
  measure(state, *m, "libxmp", [m] {
    xmp_context c = xmp_create_context();
    xmp_load_module_from_memory(c, m->bytes.data(), static_cast<long>(m->bytes.size()));
    xmp_start_player(c, mix_rate, 0);
    xmp_set_player(c, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    std::int16_t pcm[2 * chunk_frames];
    for (int i = 0; i < chunks; ++i) xmp_play_buffer(c, pcm, sizeof pcm, 0);
    benchmark::DoNotOptimize(pcm[0]);
    xmp_end_player(c);
    xmp_release_module(c);
    xmp_free_context(c);
  });
}
#endif

#if KESTOL_HAVE_OPENMPT
void libopenmpt(benchmark::State& state, const Module* m) {
  measure(state, *m, "libopenmpt", [m] {
    openmpt_module* om = openmpt_module_create_from_memory2(m->bytes.data(), m->bytes.size(), nullptr, nullptr,
                                                            nullptr, nullptr, nullptr, nullptr, nullptr);
    openmpt_module_set_render_param(om, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
    openmpt_module_set_repeat_count(om, -1);
    std::int16_t pcm[2 * chunk_frames];
    for (int i = 0; i < chunks; ++i) openmpt_module_read_interleaved_stereo(om, mix_rate, chunk_frames, pcm);
    benchmark::DoNotOptimize(pcm[0]);
    openmpt_module_destroy(om);
  });
}
#endif

}  // namespace

int main(int argc, char** argv) {
  load_modules();
  for (const Module& m : modules) {
    benchmark::RegisterBenchmark(("render/kestol/" + m.name).c_str(), kestol<ReplayMode::classic>, &m)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("render/kestol-ft2/" + m.name).c_str(), kestol<ReplayMode::ft2>, &m)
        ->Unit(benchmark::kMillisecond);
#if KESTOL_HAVE_XMP
    benchmark::RegisterBenchmark(("render/libxmp/" + m.name).c_str(), libxmp, &m)->Unit(benchmark::kMillisecond);
#endif
#if KESTOL_HAVE_OPENMPT
    benchmark::RegisterBenchmark(("render/libopenmpt/" + m.name).c_str(), libopenmpt, &m)->Unit(benchmark::kMillisecond);
#endif
  }
  for (const Module& m : modules)
    for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2})
      benchmark::RegisterBenchmark(
          ((mode == ReplayMode::ft2 ? "seek_to_end/kestol-ft2/" : "seek_to_end/kestol/") + m.name).c_str(),
          mode == ReplayMode::ft2 ? seek_to_end<ReplayMode::ft2> : seek_to_end<ReplayMode::classic>, &m)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nReal-time factors (%d s rendered to memory, per CPU second) and Kestol's speed (classic and\n"
              "ft2 replay) over the faster peer, and over libxmp:\n",
              render_seconds);
  for (const auto& [name, by] : rtf) {
    double peer = 0;
    std::string peer_name = "none";
    for (const auto& [player, factor] : by)
      if (player.rfind("kestol", 0) != 0 && factor > peer) {
        peer = factor;
        peer_name = player;
      }
    const auto xmp = by.find("libxmp");
    for (const char* player : {"kestol", "kestol-ft2"}) {
      const auto k = by.find(player);
      if (k == by.end()) continue;
      std::printf("  %-36s %-10s %8.0fx", name.c_str(), player, k->second);
      if (peer > 0) std::printf("   %s %8.0fx   ratio %.2f", peer_name.c_str(), peer, k->second / peer);
      if (xmp != by.end()) std::printf("   over libxmp %.2f", k->second / xmp->second);
      std::printf("\n");
    }
  }
  if (!seek_costs.empty()) std::printf("\nSeeking to the song's end, as a share of rendering to it (same run):\n");
  for (const auto& [name, cost] : seek_costs)
    std::printf("  %-36s seek %8.2f ms   render %8.1f ms   %5.2f%%\n", name.c_str(), 1000.0 * cost.first,
                1000.0 * cost.second, 100.0 * cost.first / cost.second);
  return 0;
}
