// The frame script over the timeline, with synthetic pictures installed directly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/demo_hooks.h"
#include "demo/demo.h"

namespace {

constexpr int W = 320, H = 200;

// A picture whose every pixel differs by picture, column and row, with a varied alpha.
void make_picture(Picture& p, int w, int h, std::uint32_t seed) {
  picture_free(p);
  p.width = w;
  p.height = h;
  p.pixels = static_cast<std::uint32_t*>(std::malloc(std::size_t(w) * h * 4));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = (seed * 2654435761u) ^ (std::uint32_t(x) * 40503u) ^ (std::uint32_t(y) * 9973u * 65537u);
      v ^= v >> 13;
      p.pixels[y * w + x] = v * 2246822519u;
    }
}

class Script : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < sequence_count; ++i) make_picture(sequence[i], W, H, 100 + i);
    make_picture(right_slider, W, H, 1);
    make_picture(left_slider, 160, H, 2);
    make_picture(logo_overlay, W, H, 3);
    make_picture(logo, W, H, 4);
    section_mark = 0;
    fb.assign(W * H, 0xDEADBEEF);
    ref.assign(W * H, 0);
    screen = make_screen(fb);
  }
  void TearDown() override { demo_unload(); }

  static Screen make_screen(std::vector<std::uint32_t>& px) {
    Screen s{};
    s.pixels = px.data();
    s.width = W;
    s.height = H;
    s.pitch = W * 4;
    return s;
  }
  bool frame(std::uint16_t p, std::uint16_t q, std::uint32_t t) {
    FrameClock c{p, q, t};
    return demo_frame(screen, c);
  }
  Screen reference() {
    std::fill(ref.begin(), ref.end(), 0x12345678u);
    return make_screen(ref);
  }

  std::vector<std::uint32_t> fb, ref;
  Screen screen{};
};

TEST_F(Script, FirstFrameIsBlackAndTheLogoFadesIn) {
  EXPECT_TRUE(frame(0x0000, 0xFFFF, 5000));
  EXPECT_EQ(section_mark, 5000u);
  for (std::uint32_t px : fb) ASSERT_EQ(px, 0u);

  EXPECT_TRUE(frame(0x0004, 0x0000, 5800));  // 800 ms: level 100
  Screen r = reference();
  surface_blit(r, logo, 0, 0);
  surface_fade(r, 100);
  EXPECT_EQ(fb, ref);

  EXPECT_TRUE(frame(0x0010, 0x0004, 5000 + 2040));  // fully in: the logo unchanged
  r = reference();
  surface_blit(r, logo, 0, 0);
  EXPECT_EQ(fb, ref);
}

TEST_F(Script, SecondHalfOfTheIntroDrawsTheOverlay) {
  EXPECT_TRUE(frame(0x0020, 0x001F, 3000));
  EXPECT_EQ(section_mark, 3000u);
  Screen r = reference();
  surface_blit(r, logo, 0, 0);
  surface_blit_alpha(r, logo_overlay, 0, 0);
  EXPECT_EQ(fb, ref);
}

TEST_F(Script, FirstPictureRunsOnFromTheIntrosMark) {
  // Index 0 never resets the mark: the cross-fade clock runs on from row 32 of order 0.
  frame(0x0020, 0x001F, 1000);
  EXPECT_TRUE(frame(0x0100, 0x00FF, 1400));
  EXPECT_EQ(section_mark, 1000u);
  Screen r = reference();
  surface_blit(r, sequence[0], 0, 0);
  surface_blit_fade(r, sequence[0], 0, 0, 50);
  EXPECT_EQ(fb, ref);
}

TEST_F(Script, Order3After400MsCrossFadesAndSlidesInFromTheRight) {
  EXPECT_TRUE(frame(0x0300, 0x02FF, 10000));  // index 4 entered
  EXPECT_EQ(section_mark, 10000u);
  EXPECT_TRUE(frame(0x0310, 0x030F, 10400));
  Screen r = reference();
  surface_blit(r, sequence[3], 0, 0);
  surface_blit_fade(r, sequence[4], 0, 0, 50);
  surface_blit_alpha(r, right_slider, 189, 0);
  EXPECT_EQ(fb, ref);
  // The slider's first column is at 189: the column left of it is the plain cross-fade.
  Screen plain = reference();
  surface_blit(plain, sequence[3], 0, 0);
  surface_blit_fade(plain, sequence[4], 0, 0, 50);
  EXPECT_EQ(fb[10 * W + 188], ref[10 * W + 188]);
  EXPECT_EQ(ref[10 * W + 188], plain.pixels[10 * W + 188]);
}

TEST_F(Script, RightSliderStartsAt289StopsAt0AndLeavesToTheRight) {
  auto slider_x_matches = [&](std::uint16_t p, std::uint16_t q, std::uint32_t t, int x, int under, unsigned level) {
    frame(p, q, t);
    Screen r = reference();
    if (level < 255) surface_blit(r, sequence[under - 1], 0, 0);
    surface_blit_fade(r, sequence[under], 0, 0, level);
    surface_blit_alpha(r, right_slider, x, 0);
    return fb == ref;
  };
  EXPECT_TRUE(slider_x_matches(0x0300, 0x02FF, 0, 289, 4, 0));
  EXPECT_TRUE(slider_x_matches(0x0308, 0x0300, 4000, 0, 4, 255));  // s + 30 >= 319
  EXPECT_TRUE(slider_x_matches(0x0320, 0x031F, 5000, 0, 5, 0));    // second half: reset
  EXPECT_TRUE(slider_x_matches(0x0330, 0x0320, 5400, 100, 5, 50));
}

TEST_F(Script, LeftSliderComesInFromMinus160AndLeavesToTheLeft) {
  auto check = [&](std::uint16_t p, std::uint16_t q, std::uint32_t t, int x, int index, unsigned level) {
    frame(p, q, t);
    Screen r = reference();
    if (level < 255) surface_blit(r, sequence[index - 1], 0, 0);
    surface_blit_fade(r, sequence[index], 0, 0, level);
    surface_blit_alpha(r, left_slider, x, 0);
    return fb == ref;
  };
  EXPECT_TRUE(check(0x0500, 0x04FF, 0, -160, 8, 0));
  EXPECT_TRUE(check(0x0510, 0x0500, 400, -60, 8, 50));
  EXPECT_TRUE(check(0x0518, 0x0510, 1000, 0, 8, 125));
  EXPECT_TRUE(check(0x0520, 0x051F, 2000, 0, 9, 0));
  EXPECT_TRUE(check(0x0528, 0x0520, 2400, -100, 9, 50));
}

TEST_F(Script, JumpCrossFadesFromThePictureBeforeNotTheOneShown) {
  frame(0x0230, 0x022F, 100);  // index 3 shown
  EXPECT_TRUE(frame(0x0400, 0x0230, 900));
  EXPECT_EQ(section_mark, 900u);
  Screen r = reference();
  surface_blit(r, sequence[5], 0, 0);  // level 0: the new picture not yet visible
  EXPECT_EQ(fb, ref);
  frame(0x0408, 0x0400, 900 + 800);
  r = reference();
  surface_blit(r, sequence[5], 0, 0);
  surface_blit_fade(r, sequence[6], 0, 0, 100);
  EXPECT_EQ(fb, ref);
}

TEST_F(Script, LastPictureHoldsThroughOrder8) {
  frame(0x0820, 0x081F, 0);  // index 15
  frame(0x083F, 0x0830, 3000);
  Screen r = reference();
  surface_blit_fade(r, sequence[15], 0, 0, 255);
  EXPECT_EQ(fb, ref);
}

TEST_F(Script, CloseShowsTheLogoAndFadesToBlackFrom0A20) {
  EXPECT_TRUE(frame(0x0900, 0x08FF, 100));
  Screen r = reference();
  surface_blit(r, logo, 0, 0);
  surface_blit_alpha(r, logo_overlay, 0, 0);
  EXPECT_EQ(fb, ref);

  EXPECT_TRUE(frame(0x0A20, 0x0A1F, 7000));
  EXPECT_EQ(fb, ref);  // fade level 255 - 0: unchanged
  EXPECT_TRUE(frame(0x0A30, 0x0A20, 7000 + 1020));
  r = reference();
  surface_blit(r, logo, 0, 0);
  surface_blit_alpha(r, logo_overlay, 0, 0);
  surface_fade(r, 255 - 127);
  EXPECT_EQ(fb, ref);
  EXPECT_TRUE(frame(0x0AFF, 0x0A30, 7000 + 2040));
  for (std::uint32_t px : fb) ASSERT_EQ(px, 0u);
}

TEST_F(Script, EndsAtOrder11) {
  EXPECT_TRUE(frame(0x0AFF, 0x0AFE, 0));
  EXPECT_FALSE(frame(0x0B00, 0x0AFF, 10));
  EXPECT_FALSE(frame(0x1000, 0x0B00, 20));
}

TEST_F(Script, WrappingBackRestartsTheFades) {
  frame(0x0A20, 0x0A1F, 1000);
  frame(0x0A30, 0x0A20, 3000);
  // The song loops back to the start: the intro's fade starts again from black.
  EXPECT_TRUE(frame(0x0000, 0x0A30, 3100));
  EXPECT_EQ(section_mark, 3100u);
  for (std::uint32_t px : fb) ASSERT_EQ(px, 0u);
  // And back into order 3 from a later order: its picture cross-fades anew.
  frame(0x0300, 0x0640, 9000);
  EXPECT_EQ(section_mark, 9000u);
}

TEST_F(Script, MissingPicturesDrawNothingRatherThanFault) {
  demo_unload();
  fb.assign(W * H, 0x11111111);
  EXPECT_TRUE(frame(0x0310, 0x030F, 100));
  for (std::uint32_t px : fb) ASSERT_EQ(px, 0x11111111u);
}

TEST(SectionTimer, EnteringSetsTheMarkAndStayingCountsFromIt) {
  std::uint32_t mark = 7, elapsed = 99;
  EXPECT_FALSE(section_timer(FrameClock{0x0100, 0x00FF, 50}, 0x0200, 0x0300, mark, elapsed));
  EXPECT_EQ(mark, 7u);
  EXPECT_EQ(elapsed, 99u);
  EXPECT_TRUE(section_timer(FrameClock{0x0200, 0x01FF, 50}, 0x0200, 0x0300, mark, elapsed));
  EXPECT_EQ(mark, 50u);
  EXPECT_EQ(elapsed, 0u);
  EXPECT_TRUE(section_timer(FrameClock{0x0210, 0x0200, 80}, 0x0200, 0x0300, mark, elapsed));
  EXPECT_EQ(elapsed, 30u);
  EXPECT_FALSE(section_timer(FrameClock{0x0300, 0x0210, 90}, 0x0200, 0x0300, mark, elapsed));
  // The clock wraps after 49.7 days: the difference still counts forward.
  mark = 0xFFFFFFF0u;
  EXPECT_TRUE(section_timer(FrameClock{0x0220, 0x0210, 0x10}, 0x0200, 0x0300, mark, elapsed));
  EXPECT_EQ(elapsed, 0x20u);
}

TEST(FadeLevel, StepsEvery8MsAndSaturates) {
  EXPECT_EQ(fade_level(0), 0u);
  EXPECT_EQ(fade_level(7), 0u);
  EXPECT_EQ(fade_level(400), 50u);
  EXPECT_EQ(fade_level(2039), 254u);
  EXPECT_EQ(fade_level(2040), 255u);
  EXPECT_EQ(fade_level(0xFFFFFFFFu), 255u);
}

TEST(Configure, SetsTheDemosValues) {
  DemoConfig c{};
  config_set_defaults(c);
  demo_configure(c);
  EXPECT_EQ(c.width, 320u);
  EXPECT_EQ(c.height, 200u);
  EXPECT_STREQ(c.archive_name, "vexo.pak");
  EXPECT_STREQ(c.module_name, "vexo.xm");
  EXPECT_STREQ(c.title, "Vexo Demo");
  std::uint32_t bits;
  std::memcpy(&bits, &c.display_hint_x, 4);
  EXPECT_EQ(bits, 0x3F666666u);
  std::memcpy(&bits, &c.display_hint_y, 4);
  EXPECT_EQ(bits, 0x3F666666u);
  std::memcpy(&bits, &c.aspect, 4);
  EXPECT_EQ(bits, 0x3FAAAAABu);
  EXPECT_EQ(c.bits_per_pixel, 32u);
  EXPECT_EQ(c.scratch_pool_size, 0u);
  EXPECT_EQ(c.replay_mode, ReplayMode::classic);
}

}  // namespace
