// vexo itself on the X display (Xvfb in the test run): it opens full screen, Alt+Enter
// makes it a window, Escape ends it with exit code 0; without a sound device it plays to
// its end by itself; it answers --help and --version, and says what to do without a display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// "WIDTH HEIGHT" of the window, from xdotool.
std::string geometry(const std::string& id) {
  return trim(run("xdotool getwindowgeometry --shell " + id +
                  " 2>/dev/null | grep -E 'WIDTH|HEIGHT' | cut -d= -f2 | tr '\\n' ' '"));
}

TEST(VexoWindow, StartsFullScreenTogglesAndEndsWithEscape) {
  if (std::string(VEXO_PROGRAM).empty()) GTEST_SKIP() << "vexo is not built (no SDL in this build)";
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  if (run("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    execl(VEXO_PROGRAM, VEXO_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  // The window carries the class name of the display.
  const std::string id = trim(run("timeout 20 xdotool search --sync --class YOLGFX | head -1"));
  ASSERT_FALSE(id.empty());
  const std::string screen = trim(run("xdotool getdisplaygeometry"));
  std::string full;
  for (int i = 0; i < 50 && (full = geometry(id)) != screen; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(full, screen) << "full screen covers the display";

  run("xdotool key --window " + id + " alt+Return");
  std::string windowed = full;
  for (int i = 0; i < 50 && windowed == full; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windowed = geometry(id);
  }
  EXPECT_NE(windowed, full) << "Alt+Enter leaves full screen";

  run("xdotool key --window " + id + " Escape");
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 100 && (done = waitpid(pid, &status, WNOHANG)) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "vexo did not end on Escape";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

struct Ran {
  int status = -1;
  std::string out;
};

// Runs vexo with `args` through the shell, standard error joined to standard output.
Ran vexo(const std::string& env, const std::string& args) {
  Ran r;
  const std::string cmd = env + " " + VEXO_PROGRAM + " " + args + " 2>&1";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    r.status = pclose(p);
  }
  return r;
}

TEST(VexoWindow, AnswersHelpAndVersionAndNamesAMissingDisplay) {
  if (std::string(VEXO_PROGRAM).empty()) GTEST_SKIP() << "vexo is not built (no SDL in this build)";
  // Neither starts the demo: no display is needed for them.
  const std::string no_display = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER";
  Ran help = vexo(no_display, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: vexo", 0), 0u) << help.out;
  Ran version = vexo(no_display, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vexo ", 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;

  Ran none = vexo(no_display, "");
  EXPECT_EQ(WEXITSTATUS(none.status), 1);
  EXPECT_NE(none.out.find("neither DISPLAY nor WAYLAND_DISPLAY is set"), std::string::npos) << none.out;
  EXPECT_NE(none.out.find("`make capture` renders the demo to a video file"), std::string::npos) << none.out;
  EXPECT_NE(none.out.find("Error initializing display!"), std::string::npos) << none.out;
}

std::string screen_hash() { return trim(run("xwd -root -silent 2>/dev/null | md5sum | cut -c1-32")); }

// The demo lasts as long as its music (under a minute and a half): with no sound device it
// must run on the clock all the same and end by itself.
TEST(VexoWindow, WithoutASoundDevicePlaysToTheEndByItself) {
  if (std::string(VEXO_PROGRAM).empty()) GTEST_SKIP() << "vexo is not built (no SDL in this build)";
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  if (run("command -v xdotool").empty() || run("command -v xwd").empty())
    GTEST_SKIP() << "xdotool or xwd is not installed";
  char err_path[] = "/tmp/vexo_no_sound_XXXXXX";
  const int err_fd = mkstemp(err_path);
  ASSERT_GE(err_fd, 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A driver that does not exist: no audio device can open.
    setenv("SDL_AUDIODRIVER", "kestol-no-such-driver", 1);
    dup2(err_fd, 2);
    execl(VEXO_PROGRAM, VEXO_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(err_fd);
  const std::string id = trim(run("timeout 20 xdotool search --sync --class YOLGFX | head -1"));
  EXPECT_FALSE(id.empty());

  // Watch the screen until the demo ends; it must show more than one picture.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  std::string first, last;
  int changes = 0;
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < limit) {
    const std::string hash = screen_hash();
    if (!hash.empty() && hash != last) {
      if (!last.empty()) ++changes;
      last = hash;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    unlink(err_path);
    FAIL() << "vexo without sound did not end by itself";
  }
  std::ifstream in(err_path);
  const std::string err{std::istreambuf_iterator<char>(in), {}};
  unlink(err_path);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_NE(err.find("no audio device: playing without sound\n"), std::string::npos) << err;
  EXPECT_GE(changes, 5) << "the pictures change as the music moves on";
}

}  // namespace
