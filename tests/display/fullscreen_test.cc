// Full-screen presentation on the headless host: mode choice, doubling, centring, 16-bit
// conversion, inactive frames and lost surfaces, pacing in virtual time.
#include <random>

#include "display/display_internal.h"
#include "tests/display/display_fixture.h"

namespace {

// The plain way to write the two conversions: per channel, keep the top bits.
std::uint16_t reference_565(std::uint32_t p) {
  std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
std::uint16_t reference_555(std::uint32_t p) {
  std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return static_cast<std::uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

TEST(PixelConversion, MatchesPerChannelTruncation) {
  EXPECT_EQ(pixel_to_565(0x00FFFFFF), 0xFFFF);
  EXPECT_EQ(pixel_to_555(0x00FFFFFF), 0x7FFF);
  std::mt19937 random(7);
  for (int i = 0; i < 100000; ++i) {
    std::uint32_t p = random();
    ASSERT_EQ(pixel_to_565(p), reference_565(p)) << std::hex << p;
    ASSERT_EQ(pixel_to_555(p), reference_555(p)) << std::hex << p;
  }
}

TEST(ModeChoice, SmallestFittingAreaAt32BitsElse16FirstListedWins) {
  display.content_width = 320;
  display.content_height = 200;
  HostDisplayMode modes[] = {{640, 480, 16}, {800, 600, 32}, {640, 480, 32}, {480, 640, 32}};
  choose_fullscreen_mode_from(modes, 4);
  EXPECT_EQ(display.mode_width, 640);
  EXPECT_EQ(display.mode_height, 480);
  EXPECT_EQ(display.mode_bits, 32);

  HostDisplayMode only16[] = {{256, 192, 32}, {800, 600, 16}, {640, 480, 16}};
  choose_fullscreen_mode_from(only16, 3);
  EXPECT_EQ(display.mode_width, 640);
  EXPECT_EQ(display.mode_bits, 16);

  // Nothing holds the picture: the largest mode, never one of no size.
  HostDisplayMode tiny[] = {{160, 100, 16}, {256, 192, 32}};
  choose_fullscreen_mode_from(tiny, 2);
  EXPECT_EQ(display.mode_width, 256);
  EXPECT_EQ(display.mode_height, 192);
  EXPECT_EQ(display.mode_bits, 32);
}

TEST(BackBufferCopy, CutsAPictureLargerThanTheSurface) {
  std::vector<std::uint32_t> pixels = position_pattern(320, 200);
  std::vector<std::uint32_t> surface_pixels(100 * 60 + 8, 0xEEEEEEEE);
  HostLockedSurface surface{surface_pixels.data(), 100, 60, 400, 32, 0xFF00};
  copy_to_back_buffer(surface, pixels.data(), 320, 200, 100, 60);
  // The middle of the picture, and the guard words after the surface untouched.
  EXPECT_EQ(surface_pixels[0], pixels[70 * 320 + 110]);
  EXPECT_EQ(surface_pixels[59 * 100 + 99], pixels[129 * 320 + 209]);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(surface_pixels[100 * 60 + i], 0xEEEEEEEEu);
}

TEST_F(DisplayTest, DoubledIn640x480WithFortyBlackRowsAboveAndBelow) {
  ASSERT_TRUE(open(320, 200, true));
  EXPECT_EQ(hint_x, 1.0f);
  EXPECT_EQ(hint_y, 1.0f);
  HostDisplayMode mode = headless::fullscreen_mode();
  EXPECT_EQ(mode.width, 640);
  EXPECT_EQ(mode.height, 480);
  EXPECT_EQ(mode.bits_per_pixel, 32);

  std::vector<std::uint32_t> pixels = position_pattern(320, 200);
  display_present(pixels.data());
  EXPECT_EQ(headless::flip_count(), 1);
  headless::Image front = headless::front_buffer();
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      std::uint32_t expected = (y < 40 || y >= 440) ? 0u : pixels[((y - 40) / 2) * 320 + x / 2];
      ASSERT_EQ(front.pixel32(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(DisplayTest, OneToOneIn320x240WithTwentyBlackRows) {
  headless::set_display_modes({{640, 480, 32}, {320, 240, 32}});
  ASSERT_TRUE(open(320, 200, true));
  std::vector<std::uint32_t> pixels = position_pattern(320, 200);
  display_present(pixels.data());
  headless::Image front = headless::front_buffer();
  ASSERT_EQ(front.width, 320);
  ASSERT_EQ(front.height, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      ASSERT_EQ(front.pixel32(x, y), (y < 20 || y >= 220) ? 0u : pixels[(y - 20) * 320 + x]);
}

TEST_F(DisplayTest, SixteenBitModesConvertAndCentre) {
  for (std::uint32_t green : {0x07E0u, 0x03E0u}) {
    headless::set_display_modes({{256, 192, 32}, {640, 480, 16}});
    headless::set_green_mask_16(green);
    ASSERT_TRUE(open(320, 200, true));
    std::vector<std::uint32_t> pixels = position_pattern(320, 200);
    pixels[0] = 0x00FFFFFF;
    display_present(pixels.data());
    headless::Image front = headless::front_buffer();
    ASSERT_EQ(front.bits_per_pixel, 16);
    bool is_565 = green == 0x07E0;
    EXPECT_EQ(front.pixel16(160, 140), is_565 ? 0xFFFF : 0x7FFF);
    EXPECT_EQ(front.pixel16(159, 140), 0);
    EXPECT_EQ(front.pixel16(160, 139), 0);
    EXPECT_EQ(front.pixel16(160 + 319, 140 + 199),
              is_565 ? pixel_to_565(pixels.back()) : pixel_to_555(pixels.back()));
    EXPECT_EQ(front.pixel16(160 + 320, 140 + 199), 0);
    display_close();
    opened = false;
  }
}

TEST_F(DisplayTest, InactiveFullScreenPresentsNothingAndRestoresClearedSurfaces) {
  ASSERT_TRUE(open(320, 200, true));
  std::vector<std::uint32_t> pixels = position_pattern(320, 200);
  display_present(pixels.data());
  ASSERT_EQ(headless::flip_count(), 1);

  headless::inject_activation(window(), false);
  ASSERT_TRUE(pump());
  EXPECT_GE(headless::cursor_count(), 0) << "the cursor shows while inactive";
  display_present(pixels.data());
  EXPECT_EQ(headless::flip_count(), 1);

  headless::inject_activation(window(), true);
  ASSERT_TRUE(pump());
  EXPECT_LT(headless::cursor_count(), 0) << "the cursor hides when active in full screen";
  display_present(pixels.data());
  EXPECT_EQ(headless::flip_count(), 2);
  // The garbage of the lost surfaces is gone from both buffers around the picture.
  for (headless::Image image : {headless::front_buffer(), headless::back_buffer()}) {
    EXPECT_EQ(image.pixel32(0, 0), 0u);
    EXPECT_EQ(image.pixel32(639, 479), 0u);
  }
  EXPECT_EQ(headless::front_buffer().pixel32(2, 42), pixels[321]);
}

TEST_F(DisplayTest, EveryFlipAdvancesVirtualTimeByOneVideoFrame) {
  headless::set_virtual_time(true);
  int calls = 0;
  std::int64_t seen = 0;
  int id = headless::on_frame_advance([&] {
    ++calls;
    seen = headless::virtual_ticks();
  });
  ASSERT_TRUE(open(320, 200, true));
  std::int64_t start = headless::virtual_ticks();
  std::vector<std::uint32_t> pixels(320 * 200, 0);
  display_present(pixels.data());
  display_present(pixels.data());
  EXPECT_EQ(headless::virtual_ticks() - start, 2 * 44100);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(seen, start + 2 * 44100) << "callbacks run after the clock moved";

  // Windowed presentation is not a flip.
  headless::inject(window(), HostEventType::toggle_fullscreen);
  ASSERT_TRUE(pump());
  display_present(pixels.data());
  EXPECT_EQ(calls, 2);
  headless::remove_frame_advance(id);
  headless::set_virtual_time(false);
}

}  // namespace
