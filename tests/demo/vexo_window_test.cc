// vexo itself on the X display (Xvfb in the test run): it opens full screen, Alt+Enter
// makes it a window, Escape ends it with exit code 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

}  // namespace
