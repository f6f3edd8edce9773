// The display on the SDL host in a real X window (run under Xvfb): full screen shows the
// framebuffer scaled by a whole factor, Alt+Enter gives a window of the expected size,
// Escape ends the program with exit code 0; without any display the program fails.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

#ifdef DISPLAY_WINDOW_DEMO
const char* const demo_program = DISPLAY_WINDOW_DEMO;
#else
const char* const demo_program = nullptr;
#endif

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int out = -1;  // the child's standard output and error
  std::string output;

  bool start(const std::vector<std::string>& environment) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(demo_program), nullptr};
    int rc = posix_spawn(&pid, demo_program, &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out = fds[0];
    return rc == 0;
  }

  // Reads output until `text` appears or the time runs out.
  bool wait_for_output(const std::string& text, std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    while (output.find(text) == std::string::npos) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - Clock::now()).count());
      if (left <= 0) return false;
      pollfd p{out, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) return false;
      char buffer[256];
      ssize_t n = read(out, buffer, sizeof buffer);
      if (n <= 0) return output.find(text) != std::string::npos;
      output.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  // The exit code, or -1 when the child did not end in time (it is then killed).
  int wait_exit(std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    int status = 0;
    for (;;) {
      wait_for_output("\x01", std::chrono::seconds(0));  // drain
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) break;
      if (Clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        pid = -1;
        return -1;
      }
      // Wake on output or at the latest after 50 ms to look at the child again.
      pollfd p{out, POLLIN, 0};
      poll(&p, 1, 50);
      char buffer[256];
      if (p.revents & POLLIN) {
        ssize_t n = read(out, buffer, sizeof buffer);
        if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
      }
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
};

std::string run(const std::string& command) {
  std::string result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) result += buffer;
  pclose(pipe);
  return result;
}

bool have(const char* tool) { return !run(std::string("command -v ") + tool).empty(); }

// An X window dump (xwd) of the root window.
struct Screenshot {
  int width = 0, height = 0, bytes_per_line = 0, bits_per_pixel = 0;
  bool msb_first = false;
  std::uint32_t red_mask = 0, green_mask = 0, blue_mask = 0;
  std::vector<std::uint8_t> pixels;

  static std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
  }

  bool load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(file)), {});
    if (data.size() < 100) return false;
    std::uint32_t header_size = be32(&data[0]);
    width = static_cast<int>(be32(&data[16]));
    height = static_cast<int>(be32(&data[20]));
    msb_first = be32(&data[28]) != 0;
    bits_per_pixel = static_cast<int>(be32(&data[44]));
    bytes_per_line = static_cast<int>(be32(&data[48]));
    red_mask = be32(&data[56]);
    green_mask = be32(&data[60]);
    blue_mask = be32(&data[64]);
    std::uint32_t colours = be32(&data[76]);
    std::size_t start = header_size + static_cast<std::size_t>(colours) * 12;
    // Depth-24 dumps may say 24 bits per pixel while storing four bytes per pixel.
    if ((bits_per_pixel != 32 && bits_per_pixel != 24) || bytes_per_line < width * 4 || start + static_cast<std::size_t>(bytes_per_line) * height > data.size())
      return false;
    pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(start), data.end());
    return true;
  }

  // 0x00RRGGBB at (x, y).
  std::uint32_t rgb(int x, int y) const {
    const std::uint8_t* p = &pixels[static_cast<std::size_t>(y) * bytes_per_line + x * 4];
    std::uint32_t v = msb_first ? be32(p)
                                : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                                      (std::uint32_t{p[1]} << 8) | p[0];
    auto channel = [v](std::uint32_t mask) {
      if (mask == 0) return 0u;
      int shift = __builtin_ctz(mask);
      return ((v & mask) >> shift) & 0xFF;
    };
    return (channel(red_mask) << 16) | (channel(green_mask) << 8) | channel(blue_mask);
  }
};

std::vector<std::string> environment_without(std::initializer_list<const char*> names) {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) {
    bool drop = false;
    for (const char* name : names)
      if (std::strncmp(*e, name, std::strlen(name)) == 0 && (*e)[std::strlen(name)] == '=') drop = true;
    if (!drop) result.emplace_back(*e);
  }
  return result;
}

// Polls an outside state (the X server's idea of a window) until it holds or time is up.
template <typename Condition>
bool eventually(Condition condition, std::chrono::seconds limit) {
  auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

TEST(DisplayWindow, FullScreenThenAltEnterWindowThenEscape) {
  if (demo_program == nullptr) GTEST_SKIP() << "built without the SDL host";
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
  if (!have("xdotool") || !have("xwd")) GTEST_SKIP() << "needs xdotool and xwd";

  Child child;
  ASSERT_TRUE(child.start(environment_without({"SDL_VIDEODRIVER"})));
  ASSERT_TRUE(child.wait_for_output("presented", std::chrono::seconds(30))) << child.output;
  std::string id = run("timeout 20 xdotool search --sync --classname '^YOLGFX$' | head -1");
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  ASSERT_FALSE(id.empty()) << "no window of class YOLGFX";

  // Full screen: the 320 x 200 pattern at the largest whole factor, centred, black around.
  // The X server maps and sizes the window after the first flips, so look until it shows.
  std::string shot = testing::TempDir() + "display_window_test.xwd";
  Screenshot screen;
  int factor = 0, left = 0, top = 0;
  bool shown = eventually(
      [&] {
        if (std::system(("xwd -root -silent -out '" + shot + "'").c_str()) != 0 || !screen.load(shot))
          return false;
        factor = std::min(screen.width / 320, screen.height / 200);
        left = (screen.width - 320 * factor) / 2;
        top = (screen.height - 200 * factor) / 2;
        return factor >= 1 && screen.rgb(left + 80 * factor, top + 50 * factor) != 0;
      },
      std::chrono::seconds(10));
  std::remove(shot.c_str());
  ASSERT_TRUE(shown) << "the picture never appeared";
  auto at = [&](int x, int y) { return screen.rgb(left + x * factor, top + y * factor); };
  EXPECT_EQ(at(80, 50), 0xFF0000u);
  EXPECT_EQ(at(240, 50), 0x00FF00u);
  EXPECT_EQ(at(80, 150), 0x0000FFu);
  EXPECT_EQ(at(240, 150), 0xFFFFFFu);
  EXPECT_EQ(at(0, 0), 0xFF0000u);
  EXPECT_EQ(screen.rgb(left + 320 * factor - 1, top + 200 * factor - 1), 0xFFFFFFu);
  if (top > 0) {
    EXPECT_EQ(screen.rgb(screen.width / 2, top - 1), 0u);
  }
  if (left > 0) {
    EXPECT_EQ(screen.rgb(left - 1, screen.height / 2), 0u);
  }

  // Alt+Enter: a window with a 640 x 400 client area (the screen holds three times the
  // picture) or 320 x 200.
  bool big = screen.width >= 960 && screen.height >= 600;
  std::string expected = big ? "640x400" : "320x200";
  run("xdotool windowfocus --sync " + id + " key alt+Return");
  EXPECT_TRUE(eventually(
      [&] { return run("xdotool getwindowgeometry " + id).find("Geometry: " + expected) != std::string::npos; },
      std::chrono::seconds(10)))
      << run("xdotool getwindowgeometry " + id);

  run("xdotool windowfocus --sync " + id + " key Escape");
  EXPECT_EQ(child.wait_exit(std::chrono::seconds(20)), 0) << child.output;
}

TEST(DisplayWindow, NoDisplayAtAllEndsWithTheMessageAndCodeOne) {
  if (demo_program == nullptr) GTEST_SKIP() << "built without the SDL host";
  Child child;
  ASSERT_TRUE(child.start(environment_without({"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"})));
  EXPECT_EQ(child.wait_exit(std::chrono::seconds(30)), 1);
  EXPECT_NE(child.output.find("Error initializing display!"), std::string::npos) << child.output;
}

}  // namespace
