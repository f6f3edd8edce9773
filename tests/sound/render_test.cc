// The offline renderer: the output's chunk accounting, the song's end, real modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sound/render.h"
#include "tests/support/xm_fixtures.h"

#if KESTOL_HAVE_XMP
#include <xmp.h>
#endif
#if KESTOL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

XmModule busy_song() {
  XmModule m = test_module(4, 16);
  m.orders = {0, 1, 0};
  m.patterns.resize(2);
  m.patterns[1].rows = 8;
  XmSample looped = test_sample(800);
  looped.loop = 2;
  looped.loop_start = 200;
  looped.loop_length = 400;
  m.instruments.push_back(test_instrument(looped));
  for (int r = 0; r < 16; r += 2) {
    m.patterns[0].at(r, r % 4, 4) = {static_cast<std::uint8_t>(40 + r), 1, 0, 0x4, 0x46};
    m.patterns[0].at(r + 1, 3, 4) = {static_cast<std::uint8_t>(50 + r), 2, 0x30, 0xA, 0x02};
  }
  m.patterns[1].at(0, 1, 4) = {60, 2, 0, 0xF, 0x90};  // BPM 144: ticks no longer 882 frames
  m.patterns[1].at(4, 2, 4) = {37, 1, 0xC8, 0x8, 0x20};
  return m;
}

TEST(Render, ChunksMatchTheOutputsMixing) {
  const XmModule song = busy_song();
  auto a = load_xm(song);
  auto b = load_xm(song);
  ASSERT_TRUE(a && b);
  OfflineRenderer r(*a);
  player_start(*b);
  std::vector<float> span(2 * chunk_frames);
  std::int16_t x[2 * chunk_frames], y[2 * chunk_frames];
  std::uint64_t energy = 0;
  for (int chunk = 0; chunk < 300; ++chunk) {
    ASSERT_EQ(r.render_chunk(x, false), chunk_frames);
    mix_frames(*b, span.data(), y, chunk_frames);
    ASSERT_EQ(0, std::memcmp(x, y, sizeof x)) << chunk;
    ASSERT_EQ(r.position(), b->position());
    for (std::int16_t v : x) energy += static_cast<std::uint64_t>(std::abs(v));
  }
  EXPECT_GT(energy, 0u);
  EXPECT_EQ(chunk_frames, 884);
}

TEST(Render, StopsWhereTheSongRepeatsAPositionButNotInPatternLoops) {
  XmModule m = test_module(1, 4);
  m.speed = 1;
  m.bpm = 125;  // 882 frames per row
  m.orders = {0, 1};
  m.patterns.resize(2);
  m.patterns[1].rows = 4;
  m.patterns[1].at(0, 0, 1) = {0, 0, 0, 0xE, 0x60};
  m.patterns[1].at(2, 0, 1) = {0, 0, 0, 0xE, 0x62};  // rows 0..2 three times
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  bool found = false;
  const auto pcm = render_module(*player, 0, true, 60, &found);
  EXPECT_TRUE(found);
  // Rows: 4 + 3 x 3 + 1 = 14 rows, then (0, 0) again.
  EXPECT_EQ(pcm.size(), 2u * 14 * 882);

  auto again = load_xm(m);
  const auto fixed = render_module(*again, 1.5, false);
  EXPECT_EQ(fixed.size(), 2u * 66150);
}

TEST(Render, JumpBackIsTheEnd) {
  XmModule m = test_module(1, 8);
  m.speed = 2;
  m.orders = {0, 1, 2};
  m.patterns.resize(3);
  for (XmPattern& p : m.patterns) p.rows = 8;
  m.patterns[2].at(3, 0, 1) = {0, 0, 0, 0xB, 1};
  auto player = load_xm(m);
  OfflineRenderer r(*player);
  std::int16_t chunk[2 * chunk_frames];
  std::uint64_t frames = 0;
  int n;
  while ((n = r.render_chunk(chunk, true)) == chunk_frames) frames += n;
  frames += static_cast<std::uint64_t>(n);
  EXPECT_TRUE(r.song_ended());
  EXPECT_EQ(r.song_end_frame(), frames);
  EXPECT_EQ(frames, (8u + 8u + 4u) * 2 * 882);
  EXPECT_EQ(r.render_chunk(chunk, true), 0);
}

// Real modules written by others, from a Debian package (bomberclone-data).
std::vector<std::filesystem::path> real_modules() {
  std::vector<std::filesystem::path> found;
  const std::filesystem::path dir = "/usr/share/games/bomberclone/music";
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.path().extension() == ".xm") found.push_back(e.path());
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<char> read_all(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Render, RealModulesPlayToTheirEndWithinOnePercentOfOtherPlayers) {
  const auto modules = real_modules();
  if (modules.empty()) GTEST_SKIP() << "no XM modules installed (package bomberclone-data)";
  for (const auto& path : modules)
    for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2}) {
      SCOPED_TRACE(path.string() + " " + replay_mode_name(mode));
      const std::vector<char> bytes = read_all(path);
      auto player = module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      ASSERT_TRUE(player);
      player_set_replay_mode(*player, mode);
      OfflineRenderer r(*player);
      std::int16_t chunk[2 * chunk_frames];
      std::uint64_t loud = 0;
      while (r.render_chunk(chunk, true) == chunk_frames && r.frames_rendered() < 3600u * mix_rate)
        for (std::int16_t v : chunk) loud += std::abs(v) > 1000;
      ASSERT_TRUE(r.song_ended());
      EXPECT_GT(loud, r.frames_rendered() / 10);
      [[maybe_unused]] const double ours = static_cast<double>(r.song_end_frame()) / mix_rate;
  #if KESTOL_HAVE_XMP
      {
        xmp_context c = xmp_create_context();
        ASSERT_EQ(xmp_load_module_from_memory(c, bytes.data(), static_cast<long>(bytes.size())), 0);
        xmp_start_player(c, mix_rate, 0);
        xmp_frame_info fi;
        xmp_get_frame_info(c, &fi);
        EXPECT_NEAR(ours, fi.total_time / 1000.0, fi.total_time / 1000.0 * 0.01) << "libxmp";
        xmp_end_player(c);
        xmp_release_module(c);
        xmp_free_context(c);
      }
  #endif
  #if KESTOL_HAVE_OPENMPT
      {
        openmpt_module* om = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(om, nullptr);
        const double theirs = openmpt_module_get_duration_seconds(om);
        EXPECT_NEAR(ours, theirs, theirs * 0.01) << "libopenmpt";
        openmpt_module_destroy(om);
      }
  #endif
    }
}

}  // namespace
