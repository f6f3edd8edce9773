// The display with the application frame and a render thread on the headless host.
#include <atomic>
#include <thread>

#include "app/app.h"
#include "display/display_internal.h"
#include "tests/display/display_fixture.h"
#include "tests/support/test_demo.h"

namespace {

class DisplayFrameTest : public DisplayTest {
 protected:
  void TearDown() override {
    test_demo::reset();
    DisplayTest::TearDown();
  }
};

TEST_F(DisplayFrameTest, FirstFrameIsBlackInFullScreenAndEscapeEndsTheProgram) {
  std::atomic<int> frames{0};
  std::atomic<bool> first_black{false}, first_fullscreen{false};
  test_demo::frame = [&](const Screen& screen, const FrameClock&) {
    int n = frames.fetch_add(1);
    if (n == 0) {
      headless::Image front = headless::front_buffer();
      bool black = front.width == 640 && headless::flip_count() == 1;
      for (int y = 0; y < front.height && black; ++y)
        for (int x = 0; x < front.width && black; ++x) black = front.pixel32(x, y) == 0;
      first_black = black;
      first_fullscreen = headless::in_fullscreen();
    }
    for (int i = 0; i < screen.width * screen.height; ++i) screen.pixels[i] = 0x00FF00FF;
    if (n == 3) headless::inject(display_window(), HostEventType::escape);
    return true;
  };
  EXPECT_EQ(kestol_main(), 0);
  EXPECT_TRUE(first_black);
  EXPECT_TRUE(first_fullscreen);
  EXPECT_GE(frames.load(), 4);
  EXPECT_EQ(display_window(), nullptr) << "shutdown closed the display";
}

TEST_F(DisplayFrameTest, AltEnterWhileRunningShowsTheFramesInAWindow) {
  std::atomic<int> frames{0};
  test_demo::frame = [&](const Screen& screen, const FrameClock&) {
    int n = frames.fetch_add(1);
    for (int i = 0; i < screen.width * screen.height; ++i) screen.pixels[i] = 0x0000FF00;
    if (n == 1) headless::inject(display_window(), HostEventType::toggle_fullscreen);
    // Ends once a windowed frame has been painted on the main thread.
    return !(n > 1 && headless::canvas_paint_count() > 0);
  };
  EXPECT_EQ(kestol_main(), 0);
  headless::Image painted = headless::painted_image();
  ASSERT_EQ(painted.width, 640);
  EXPECT_EQ(painted.pixel32(320, 200), 0x0000FF00u);
}

TEST_F(DisplayFrameTest, NoDisplayEndsWithTheFatalMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        headless::set_video_available(false);
        kestol_main();
      },
      ::testing::ExitedWithCode(1), "Error initializing display!");
}

// The render thread presents without pause while the main thread switches modes and
// paints; the lock keeps them apart.
TEST_F(DisplayTest, SwitchesWhileTheRenderThreadPresents) {
  ASSERT_TRUE(open(320, 200, true));
  std::vector<std::uint32_t> pixels = position_pattern(320, 200);
  std::atomic<bool> stop{false};
  std::thread render([&] {
    while (!stop.load()) display_present(pixels.data());
  });
  for (int i = 0; i < 40; ++i) {
    headless::inject(window(), HostEventType::toggle_fullscreen);
    ASSERT_TRUE(pump());
  }
  stop = true;
  render.join();
  EXPECT_TRUE(headless::in_fullscreen());
  display_present(pixels.data());
  EXPECT_EQ(headless::front_buffer().pixel32(2, 42), pixels[321]);
}

}  // namespace
