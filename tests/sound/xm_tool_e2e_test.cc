// kestol xm on files: render, timeline, info and refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
  auto player = load_xm(module);
  player_set_replay_mode(*player, ReplayMode::ft2);
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

}  // namespace
