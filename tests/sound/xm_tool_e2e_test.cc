// kestol xm on files: render, timeline, info and refusals.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/render.h"
#include "tests/support/xm_fixtures.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
};

Result run(const std::string& args) {
  const std::string cmd = std::string(KESTOL_TOOL) + " xm " + args + " 2>&1";
  Result r{-1, {}};
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
  r.status = pclose(p);
  return r;
}

struct ToolTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("kestol_xm_tool_" + std::to_string(::getpid()));
  fs::path song = dir / "song.xm";
  XmModule module = test_module(2, 8);
  void SetUp() override {
    fs::create_directories(dir);
    module.orders = {0, 0};
    module.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    const auto bytes = xm_write(module);
    std::ofstream(song, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(ToolTest, RenderWritesTheSongToItsEnd) {
  const fs::path wav = dir / "out.wav";
  const Result r = run(song.string() + " render -o " + wav.string());
  ASSERT_NE(r.status, 0);  // arguments in the wrong order
  const Result ok = run("render " + song.string() + " -o " + wav.string() + " --song-end");
  ASSERT_EQ(ok.status, 0) << ok.out;
  auto player = load_xm(module);
  bool found = false;
  const auto pcm = render_module(*player, 0, true, 60, &found);
  ASSERT_TRUE(found);
  EXPECT_EQ(fs::file_size(wav), 44 + pcm.size() * 2);
  std::ifstream in(wav, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(0, std::memcmp(bytes.data() + 44, pcm.data(), pcm.size() * 2));
  EXPECT_NE(ok.out.find("0:01.920"), std::string::npos) << ok.out;  // 16 rows x 6 ticks x 882 frames
}

TEST_F(ToolTest, TimelineHasOneLinePerChunk) {
  const Result r = run("timeline " + song.string() + " --seconds 1");
  ASSERT_EQ(r.status, 0) << r.out;
  int lines = 0;
  for (char c : r.out) lines += c == '\n';
  EXPECT_EQ(lines, 1 + (44100 + 883) / 884);
  EXPECT_NE(r.out.find("\n20 0 0\n"), std::string::npos);
}

TEST_F(ToolTest, Ft2ReplayIsChosenByFlag) {
  const fs::path classic_wav = dir / "classic.wav", ft2_wav = dir / "ft2.wav";
  ASSERT_EQ(run("render " + song.string() + " -o " + classic_wav.string() + " --seconds 1").status, 0);
  const Result r = run("render " + song.string() + " --ft2 -o " + ft2_wav.string() + " --seconds 1");
  ASSERT_EQ(r.status, 0) << r.out;
  auto player = load_xm(module, ReplayMode::ft2);
  const auto pcm = render_module(*player, 1, false);
  std::ifstream in(ft2_wav, std::ios::binary), classic_in(classic_wav, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  const std::vector<char> classic{std::istreambuf_iterator<char>(classic_in), {}};
  ASSERT_EQ(bytes.size(), 44 + pcm.size() * 2);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 44, pcm.data(), pcm.size() * 2));
  EXPECT_NE(bytes, classic);  // the panning law alone tells them apart
  const Result info = run("info --ft2 " + song.string());
  EXPECT_NE(info.out.find("replay:            ft2"), std::string::npos) << info.out;
  EXPECT_NE(run("info " + song.string()).out.find("replay:            classic"), std::string::npos);
  EXPECT_EQ(run("timeline " + song.string() + " --ft2 --seconds 1").status, 0);
}

TEST_F(ToolTest, InfoAndRefusals) {
  const Result info = run("info " + song.string());
  ASSERT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("channels:          2"), std::string::npos) << info.out;
  const fs::path text = dir / "notes.txt";
  std::ofstream(text) << "not a module";
  const Result bad = run("info " + text.string());
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.out.find(text.string()), std::string::npos);
  EXPECT_EQ(run("render --help").status, 0);
  EXPECT_NE(run("frobnicate").status, 0);
}

std::vector<std::int16_t> wav_samples(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::int16_t> pcm(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data() + 44, pcm.size() * 2);
  return pcm;
}

// Every order of a song that loops, jumps and breaks, and of the demo's song: a render from
// an order (and from rows inside one) is the whole render from that row's first frame on.
TEST_F(ToolTest, RenderFromAnOrderAndRowIsTheWholeRenderFromThere) {
  std::vector<fs::path> songs;
  XmModule flow = test_module(2, 16);
  flow.speed = 3;
  flow.orders = {0, 1, 2, 1};
  flow.patterns.resize(3);
  for (int p = 0; p < 3; ++p) {
    flow.patterns[p].rows = 16;
    for (int r = 0; r < 16; r += 3)
      flow.patterns[p].at(r, 0, 2) = {static_cast<std::uint8_t>(40 + r + p), 1, 0, 0xA, 0x21};
  }
  flow.patterns[0].at(2, 1, 2) = {0, 0, 0, 0xE, 0x60};
  flow.patterns[0].at(5, 1, 2) = {0, 0, 0, 0xE, 0x62};  // a loop
  flow.patterns[1].at(9, 1, 2) = {0, 0, 0, 0xD, 0x04};  // a break into order 2, row 4
  flow.patterns[2].at(12, 1, 2) = {0, 0, 0, 0xB, 0x03};  // a jump to order 3
  const auto bytes = xm_write(flow);
  std::ofstream(dir / "flow.xm", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  songs.push_back(dir / "flow.xm");
#ifdef VEXO_SONG
  songs.push_back(VEXO_SONG);
#endif
  for (const fs::path& path : songs) {
    SCOPED_TRACE(path.string());
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> data{std::istreambuf_iterator<char>(in), {}};
    auto player = module_load(data.data(), static_cast<std::uint32_t>(data.size()));
    ASSERT_TRUE(player);
    const auto full = render_module(*player, 0, true, 600);
    std::vector<std::uint16_t> targets;
    for (int o = 0; o < player->song_length; ++o) targets.push_back(static_cast<std::uint16_t>(o << 8));
    targets.push_back(0x0107);
    targets.push_back(0x0204);
    for (std::uint16_t target : targets) {
      SCOPED_TRACE(testing::Message() << std::hex << target);
      auto seeker = module_load(data.data(), static_cast<std::uint32_t>(data.size()));
      OfflineRenderer r(*seeker);
      const bool reached = r.seek_row(target, 600ull * mix_rate);
      char start[16];
      std::snprintf(start, sizeof start, "%u:%u", target >> 8, target & 0xFF);
      const fs::path wav = dir / "from.wav";
      const Result res = run("render " + path.string() + " --start " + start + " -o " + wav.string());
      if (!reached) {  // jumped over: the tool says so
        EXPECT_EQ(WEXITSTATUS(res.status), 1) << res.out;
        EXPECT_NE(res.out.find("never plays"), std::string::npos) << res.out;
        continue;
      }
      ASSERT_EQ(res.status, 0) << res.out;
      const auto tail = wav_samples(wav);
      const std::size_t from = 2 * r.frames_rendered();
      ASSERT_EQ(tail.size(), full.size() - from);
      EXPECT_TRUE(std::equal(tail.begin(), tail.end(), full.begin() + static_cast<std::ptrdiff_t>(from)));
    }
  }
  // A time, and the refusals.
  const Result t = run("render " + song.string() + " --start-seconds 0.5 --seconds 0.25 -o " + (dir / "t.wav").string());
  ASSERT_EQ(t.status, 0) << t.out;
  auto player = load_xm(module);
  const auto full = render_module(*player, 0.75, false);
  const auto part = wav_samples(dir / "t.wav");
  ASSERT_EQ(part.size(), 2u * 11025);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin() + 2 * 22050));
  EXPECT_EQ(WEXITSTATUS(run("render " + song.string() + " --start 1:x -o -").status), 2);
  EXPECT_EQ(WEXITSTATUS(run("render " + song.string() + " --start 1 --start-seconds 2 -o -").status), 2);
  const Result timeline = run("timeline " + song.string() + " --start 1:0");
  ASSERT_EQ(timeline.status, 0);
  // Song time: order 1 begins after 8 rows of 6 ticks of 882 frames, 960 ms in.
  EXPECT_NE(timeline.out.find("chunk)\n960 1 0\n"), std::string::npos) << timeline.out.substr(0, 200);
}

}  // namespace
