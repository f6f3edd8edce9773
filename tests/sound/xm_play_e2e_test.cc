// kestol xm play without a sound device: the song runs on the clock and ends by itself.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    write_song(module);
  }
  void write_song(const XmModule& module) {
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

// The keys, typed on a terminal: orders of 40 s each, so only the keys move the order.
TEST_F(XmPlay, ArrowKeysMoveByAnOrderAndHomeGoesBack) {
  XmModule module = test_module(2, 64);
  module.orders = {0, 0, 0, 0, 0};
  module.speed = 31;
  module.bpm = 125;
  module.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  write_song(module);

  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(KESTOL_TOOL, KESTOL_TOOL, "xm", "play", "--no-sound", "--seconds", "60", song.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  // Reads what the tool shows until `text` appears after `from`, for at most 10 s.
  auto shows = [&](const std::string& text, std::size_t from) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (screen.find(text, from) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{terminal, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[512];
      const ssize_t n = read(terminal, buffer, sizeof buffer);
      if (n <= 0) return false;
      screen.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  };
  auto type = [&](const char* keys) {
    const std::size_t mark = screen.size();
    EXPECT_EQ(write(terminal, keys, std::strlen(keys)), static_cast<ssize_t>(std::strlen(keys)));
    return mark;
  };
  EXPECT_TRUE(shows("order   0", 0)) << screen;
  EXPECT_TRUE(shows("order   1", type("\x1b[C"))) << screen;       // right
  EXPECT_TRUE(shows("order   3", type("\x1b[C\x1bOC"))) << screen;  // right twice
  EXPECT_TRUE(shows("order   2", type("\x1b[D"))) << screen;       // left
  EXPECT_TRUE(shows("order   0", type("\x1b[H"))) << screen;       // Home
  EXPECT_TRUE(shows("order   4", type("\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C"))) << screen;  // not past the end
  EXPECT_TRUE(shows("stopped (q)", type("q"))) << screen;
  int status = 0;
  if (waitpid(child, &status, WNOHANG) == 0) {
    // A tool that did not stop is ended here, and the test fails below.
    shows("\n\n", screen.size());
    if (waitpid(child, &status, WNOHANG) == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
  }
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // The song never came round by itself, so nothing ended it but the key.
  EXPECT_EQ(screen.find("song ended"), std::string::npos);
}

}  // namespace
