// The frame as a whole: start-up order, the render loop and shutdown, and both fatal paths
// (run in child processes, since they end the process).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/fatal.h"
#include "app/scratch_pool.h"
#include "display/display.h"
#include "host/headless/headless.h"
#include "sound/module.h"
#include "tests/support/fs_fixtures.h"
#include "tests/support/test_demo.h"
#include "tests/support/xm_fixtures.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Counts every allocation through operator new, to show the frame loop makes none.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// Every form of plain new comes from here, so every delete frees what malloc gave.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test_demo::reset();
  }
  void TearDown() override { test_demo::reset(); }
};

TEST_F(Frame, StartUpOrderAndFirstFrame) {
  std::vector<std::string> calls;
  test_demo::configure = [&](DemoConfig& c) {
    calls.push_back("configure");
    EXPECT_EQ(c.width, 320u);
    EXPECT_STREQ(c.title, "Kestol Demo System");
    EXPECT_EQ(c.progress_callback, &draw_loading_bar);
    c.title = "Test Demo";
  };
  test_demo::load = [&](DemoConfig&) {
    calls.push_back("load");
    EXPECT_TRUE(system_flags.load() & display_up);
    EXPECT_EQ(screen.pixels, framebuffer);
    EXPECT_EQ(screen.pitch, 1280);
    EXPECT_EQ(screen.height, 200);
    for (int i = 0; i < 320 * 200; ++i)
      if (framebuffer[i] != 0) ADD_FAILURE() << "framebuffer not black at " << i;
    return true;
  };
  int frames = 0;
  test_demo::frame = [&](const Screen& s, const FrameClock& clock) {
    if (frames == 0) {
      calls.push_back("frame");
      EXPECT_EQ(clock.previous_position, 0xFFFF);
      EXPECT_EQ(&s, &screen);
      EXPECT_TRUE(system_flags.load() & render_running);
      EXPECT_TRUE(system_flags.load() & music_playing);
    } else {
      EXPECT_EQ(clock.previous_position, clock.position);
    }
    return ++frames < 5;
  };
  test_demo::unload = [&] {
    calls.push_back("unload");
    EXPECT_NE(framebuffer, nullptr);  // pictures go before the framebuffer
    EXPECT_FALSE(system_flags.load() & (music_playing | module_loaded));
  };
  EXPECT_EQ(kestol_main(), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"configure", "load", "frame", "unload"}));
  EXPECT_EQ(frames, 5);
  EXPECT_EQ(system_flags.load(), 0u);
  EXPECT_EQ(framebuffer, nullptr);
  EXPECT_EQ(display_window(), nullptr);
}

TEST_F(Frame, ScriptThatEndsAtOnceDrawsOneFrame) {
  int frames = 0;
  test_demo::frame = [&](const Screen&, const FrameClock&) {
    ++frames;
    return false;
  };
  EXPECT_EQ(kestol_main(), 0);
  EXPECT_EQ(frames, 1);
}

TEST_F(Frame, FrameLoopAllocatesNothing) {
  long at_second_frame = 0;
  int frames = 0;
  test_demo::frame = [&](const Screen& s, const FrameClock&) {
    ++frames;
    if (frames == 2) at_second_frame = allocations.load();
    surface_clear(s, static_cast<std::uint32_t>(frames));
    return frames < 200;
  };
  ASSERT_EQ(kestol_main(), 0);
  EXPECT_EQ(frames, 200);
  // Between the second and the last frame nothing was allocated by the loop.
  EXPECT_EQ(allocations.load() - at_second_frame, 0);
}

TEST_F(Frame, ScratchPoolOnlyWhenConfigured) {
  test_demo::configure = [](DemoConfig& c) { c.scratch_pool_size = 4096; };
  test_demo::load = [](DemoConfig&) {
    EXPECT_NE(scratch_pool.base, nullptr);
    EXPECT_EQ(scratch_pool.size, 4096u);
    return true;
  };
  EXPECT_EQ(kestol_main(), 0);
  EXPECT_EQ(scratch_pool.base, nullptr);

  scratch_pool.base = nullptr;
  test_demo::configure = nullptr;
  test_demo::load = [](DemoConfig&) {
    EXPECT_EQ(scratch_pool.base, nullptr);
    return true;
  };
  EXPECT_EQ(kestol_main(), 0);
}

TEST_F(Frame, TheModuleIsReplayedAsTheConfigurationAsks) {
  static std::vector<std::uint8_t> archive;
  archive = fs_fixtures::make_archive({{"song.xm", xm_write(test_module())}}, true, PakCompression::automatic);
  static const EmbeddedBlock block{"FileSystem", 102, archive.data(), archive.size()};
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2}) {
    static ReplayMode wanted;
    wanted = mode;
    ReplayMode seen = mode == ReplayMode::ft2 ? ReplayMode::classic : ReplayMode::ft2;
    test_demo::configure = [](DemoConfig& c) {
      EXPECT_EQ(c.replay_mode, ReplayMode::classic);
      host_set_embedded_blocks({&block, 1});
      c.module_name = "song.xm";
      c.replay_mode = wanted;
    };
    test_demo::load = [&](DemoConfig&) {
      if (music_player()) seen = music_player()->replay_mode;
      return true;
    };
    EXPECT_EQ(kestol_main(), 0);
    EXPECT_EQ(seen, mode);
  }
  host_set_embedded_blocks({});
}

// ---- Fatal paths, each in a child process ------------------------------------------------

void report_state_at_exit() {
  std::fprintf(stderr, "[exit flags=%u window=%s module=%s]\n", system_flags.load(),
               display_window() ? "open" : "closed", module_buffer ? "held" : "freed");
}

TEST_F(Frame, DemoLoadFailureExitsWithOne) {
  test_demo::load = [](DemoConfig&) {
    std::atexit(report_state_at_exit);
    return false;
  };
  // The display was up; the fatal path closes it before the message box.
  EXPECT_EXIT(kestol_main(), ::testing::ExitedWithCode(1),
              "Kestol Demo System: Error initializing demo!\n\\[exit flags=0 window=closed "
              "module=freed\\]");
}

TEST_F(Frame, FatalErrorCaptionIsTheConfiguredTitle) {
  test_demo::configure = [](DemoConfig& c) { c.title = "Vexo Demo"; };
  test_demo::load = [](DemoConfig&) -> bool { fatal_error("Can't open image '%s'!", "01.jpg"); };
  EXPECT_EXIT(kestol_main(), ::testing::ExitedWithCode(1),
              "^Vexo Demo: Can't open image '01.jpg'!\n$");
}

TEST_F(Frame, LongFatalMessageIsCut) {
  EXPECT_EXIT(
      {
        config_set_defaults(demo_config);
        std::string long_text(5000, 'x');
        fatal_error("%s", long_text.c_str());
      },
      ::testing::ExitedWithCode(1), "^Kestol Demo System: x{1023}\n$");
}

TEST_F(Frame, FatalErrorInTheScriptShowsLastAndExitsWithZero) {
  test_demo::frame = [](const Screen&, const FrameClock&) -> bool {
    std::fprintf(stderr, "[frame]\n");
    fatal_error("Script failed at %d", 42);
  };
  test_demo::unload = [] { std::fprintf(stderr, "[unload]\n"); };
  EXPECT_EXIT(
      {
        int code = kestol_main();
        std::fprintf(stderr, "[returned %d flags=%u]\n", code, system_flags.load());
        std::exit(code);
      },
      ::testing::ExitedWithCode(0),
      "^\\[frame\\]\n\\[unload\\]\nKestol Demo System: Script failed at 42\n\\[returned 0 "
      "flags=0\\]\n$");
}

}  // namespace

namespace {

TEST_F(Frame, FramebufferThatCannotBeAllocatedIsFatal) {
  test_demo::configure = [](DemoConfig& c) {
    c.width = 0x40000000;  // the byte count would wrap in 32 bits
    c.height = 0x40000;
  };
  EXPECT_EXIT(kestol_main(), ::testing::ExitedWithCode(1),
              "Can't allocate a framebuffer of 1073741824x262144 pixels!");
}

}  // namespace
