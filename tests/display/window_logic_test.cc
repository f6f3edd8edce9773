// The display window on the headless host: hot keys, mode switches and placement, the
// windowed canvas and its paint.
#include "display/display_internal.h"
#include "tests/display/display_fixture.h"

namespace {

TEST_F(DisplayTest, OpensFullScreenAsATopmostPopupOverTheMode) {
  ASSERT_TRUE(open(320, 200, true));
  headless::WindowState s = state();
  EXPECT_EQ(s.frame, HostFrame::popup);
  EXPECT_TRUE(s.visible);
  EXPECT_EQ(s.z_order, HostZOrder::topmost);
  EXPECT_EQ(s.outer.left, 0);
  EXPECT_EQ(s.outer.top, 0);
  EXPECT_EQ(s.outer.width(), 640);
  EXPECT_EQ(s.outer.height(), 480);
  EXPECT_TRUE(headless::in_fullscreen());
  EXPECT_FALSE(headless::cursor_arrow());
}

TEST_F(DisplayTest, EscapeClosesInEitherMode) {
  for (bool fullscreen : {true, false}) {
    ASSERT_TRUE(open(320, 200, fullscreen));
    headless::inject(window(), HostEventType::escape);
    EXPECT_FALSE(pump()) << "fullscreen " << fullscreen;
    // Closing ends the event loop but never destroys the window.
    EXPECT_TRUE(host_queue::window_alive(window()));
    display_close();
    opened = false;
    host_queue::reset();
  }
}

TEST_F(DisplayTest, ACloseRequestEndsTheLoopOnlyAfterWhatWasPostedBefore) {
  ASSERT_TRUE(open(320, 200, false));
  ASSERT_TRUE(pump());
  headless::inject(window(), HostEventType::toggle_fullscreen);
  EXPECT_TRUE(display_request_close());
  EXPECT_FALSE(pump());
  EXPECT_TRUE(headless::in_fullscreen()) << "the toggle posted first was handled";
}

TEST_F(DisplayTest, StartedFullScreenThenWindowedAt20x20With640x400Client) {
  ASSERT_TRUE(open(320, 200, true));
  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  EXPECT_FALSE(headless::in_fullscreen());
  headless::WindowState s = state();
  EXPECT_EQ(s.outer.left, 20);
  EXPECT_EQ(s.outer.top, 20);
  EXPECT_EQ(s.client_width, 640);
  EXPECT_EQ(s.client_height, 400);
  EXPECT_EQ(s.frame, HostFrame::framed);
  EXPECT_TRUE(s.visible);
  EXPECT_GE(headless::cursor_count(), 0);
}

TEST_F(DisplayTest, SmallScreenGivesTheContentSizedClient) {
  // 600 rows less the caption is below three times 200.
  headless::set_screen_size(960, 600);
  ASSERT_TRUE(open(320, 200, true));
  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  EXPECT_EQ(state().client_width, 320);
  EXPECT_EQ(state().client_height, 200);
}

TEST_F(DisplayTest, SecondAltEnterRestoresTheWindowWhereItWas) {
  ASSERT_TRUE(open(320, 200, false));
  // The user moves and sizes the window.
  headless::user_move_window(window(), 100, 50);
  headless::user_size_window(window(), 500, 330);
  ASSERT_TRUE(pump());
  headless::WindowState before = state();

  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  ASSERT_TRUE(headless::in_fullscreen());
  // Moves and sizes in full screen do not touch the stored windowed placement.
  headless::user_move_window(window(), 300, 300);
  headless::user_size_window(window(), 200, 100);
  ASSERT_TRUE(pump());
  EXPECT_EQ(display.client_width, 500 - 2 * headless::kFrameWidth);

  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  EXPECT_FALSE(headless::in_fullscreen());
  headless::WindowState after = state();
  EXPECT_EQ(after.outer.left, before.outer.left);
  EXPECT_EQ(after.outer.top, before.outer.top);
  EXPECT_EQ(after.outer.width(), before.outer.width());
  EXPECT_EQ(after.outer.height(), before.outer.height());
  EXPECT_EQ(after.client_width, before.client_width);
}

TEST_F(DisplayTest, FullScreenMovesKeepTheStartingPosition) {
  ASSERT_TRUE(open(320, 200, true));
  headless::user_move_window(window(), 300, 200);
  headless::user_size_window(window(), 100, 100);
  ASSERT_TRUE(pump());
  display_set_fullscreen(0);
  EXPECT_EQ(state().outer.left, 20);
  EXPECT_EQ(state().outer.top, 20);
  EXPECT_EQ(state().client_width, 640);
  // And back through the setter.
  display_set_fullscreen(1);
  EXPECT_TRUE(headless::in_fullscreen());
}

TEST_F(DisplayTest, WindowedShowsTheTopRowAtTheTopStretchedToTheClient) {
  ASSERT_TRUE(open(320, 200, false));
  ASSERT_TRUE(pump());
  std::vector<std::uint32_t> pixels(320 * 200, 0x000000FF);
  for (int x = 0; x < 320; ++x) pixels[x] = 0x00FF0000;
  display_present(pixels.data());
  // The canvas is bottom-up: the picture's top row is the last row in memory.
  headless::Image canvas = headless::canvas_image();
  EXPECT_EQ(canvas.pixel32(0, 199), 0x00FF0000u);
  EXPECT_EQ(canvas.pixel32(0, 0), 0x000000FFu);
  EXPECT_EQ(headless::canvas_paint_count(), 0) << "painting happens on the main thread";
  ASSERT_TRUE(pump());
  EXPECT_EQ(headless::canvas_paint_count(), 1);
  headless::Image painted = headless::painted_image();
  ASSERT_EQ(painted.width, 640);
  ASSERT_EQ(painted.height, 400);
  EXPECT_EQ(painted.pixel32(639, 0), 0x00FF0000u);
  EXPECT_EQ(painted.pixel32(0, 1), 0x00FF0000u);
  EXPECT_EQ(painted.pixel32(0, 2), 0x000000FFu);

  // A resized window gets the picture stretched to its new client area.
  headless::user_size_window(window(), 320 + 2 * headless::kFrameWidth,
                             100 + 2 * headless::kFrameWidth + headless::kCaptionHeight);
  ASSERT_TRUE(pump());
  display_present(pixels.data());
  ASSERT_TRUE(pump());
  EXPECT_EQ(headless::painted_image().width, 320);
  EXPECT_EQ(headless::painted_image().height, 100);
}

TEST_F(DisplayTest, SwitchToWindowedFirstShowsTheLastWindowedFrame) {
  ASSERT_TRUE(open(320, 200, true));
  std::vector<std::uint32_t> pixels(320 * 200, 0x00123456);
  display_present(pixels.data());
  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  // Nothing was presented in the window yet: the canvas is black.
  headless::Image canvas = headless::canvas_image();
  EXPECT_EQ(canvas.pixel32(10, 10), 0u);
}

TEST_F(DisplayTest, IconIsSetAgainWhenTheFrameComesBack) {
  static const int fake_icon = 0;
  display_set_icon(reinterpret_cast<IconHandle>(&fake_icon));
  ASSERT_TRUE(open(320, 200, true));
  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  EXPECT_EQ(state().icon, reinterpret_cast<IconHandle>(&fake_icon));
  display_set_icon(nullptr);
}

TEST_F(DisplayTest, FullScreenConsumesTheBackgroundAndTheCursorWindowedLeavesThemToTheHost) {
  ASSERT_TRUE(open(320, 200, true));
  HostEvent erase{window(), HostEventType::erase_background};
  HostEvent pointer{window(), HostEventType::pointer_over_window};
  EXPECT_TRUE(display_handle_event(erase));
  host_set_cursor(true);
  headless::inject(window(), HostEventType::pointer_over_window);
  ASSERT_TRUE(pump());
  EXPECT_FALSE(headless::cursor_arrow()) << "no cursor over a full-screen picture";
  for (HostEventType type : {HostEventType::activated, HostEventType::escape})
    EXPECT_FALSE(display_handle_event(HostEvent{window(), type})) << "the host's default follows";
  ASSERT_FALSE(pump()) << "Escape asked for the close";

  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  EXPECT_FALSE(display_handle_event(erase));
  EXPECT_FALSE(display_handle_event(pointer));
  headless::inject(window(), HostEventType::pointer_over_window);
  ASSERT_TRUE(pump());
  EXPECT_TRUE(headless::cursor_arrow()) << "the host shows the arrow in a window";
}

TEST_F(DisplayTest, OpenFailsWithoutVideo) {
  headless::set_video_available(false);
  DisplayRequest request{320, 200, 1.0f, 0.9f, 0.9f, 1};
  EXPECT_FALSE(display_open(request));
  EXPECT_EQ(display_window(), nullptr);
}

}  // namespace
