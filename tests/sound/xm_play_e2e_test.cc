// kestol xm play without a sound device: the song runs on the clock and ends by itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/xm_fixtures.h"

namespace {

namespace fs = std::filesystem;

struct Played {
  int status = -1;
  std::string out, err;
};

class XmPlay : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("kestol_xm_play_" + std::to_string(::getpid()));
  fs::path song = dir / "song.xm";

  void SetUp() override {
    fs::create_directories(dir);
    // Two orders of 8 rows, a row every 20 ms: a third of a second, then it comes round.
    XmModule module = test_module(2, 8);
    module.orders = {0, 0};
    module.speed = 2;
    module.bpm = 250;
    module.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    const auto bytes = xm_write(module);
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void TearDown() override { fs::remove_all(dir); }

  // `env` goes before the command (an SDL audio driver that cannot open, for one).
  Played play(const std::string& env, const std::string& args) {
    const fs::path err = dir / "stderr";
    const std::string cmd = env + " " + KESTOL_TOOL + " xm play " + args + " '" + song.string() +
                            "' 2>'" + err.string() + "'";
    Played r;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
      char buffer[4096];
      std::size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
      r.status = pclose(p);
    }
    std::ifstream in(err);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
  }
};

TEST_F(XmPlay, WithoutADeviceTheSongRunsToItsEndUnheard) {
  const Played r = play("SDL_AUDIODRIVER=kestol-no-such-driver", "--seconds 20");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "no audio device: playing without sound\n");
  // It ended because the song came round, long before the time limit: the position moved.
  EXPECT_NE(r.out.find("stopped (song ended)"), std::string::npos) << r.out;
}

TEST_F(XmPlay, NoSoundOpensNoDeviceAndSaysNothingAboutIt) {
  // The disk driver would write a file if a device were opened.
  const fs::path wav = dir / "device.raw";
  const Played r = play("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + wav.string() + "'", "--no-sound --seconds 20");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("stopped (song ended)"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(wav));

  const Played bad = play("", "--no-sound --bogus");
  EXPECT_NE(bad.status, 0);
}

}  // namespace
