#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "app/clock.h"
#include "app/tables.h"
#include "host/headless/headless.h"

namespace {

TEST(Tables, SineAndCosineCoverOneTurn) {
  ASSERT_EQ(lookup_tables_init(), 0);
  EXPECT_EQ(sine_table[0], 0.0f);
  EXPECT_EQ(cosine_table[0], 1.0f);
  EXPECT_NEAR(sine_table[256], 1.0f, 1e-7);
  EXPECT_NEAR(cosine_table[512], -1.0f, 1e-7);
  EXPECT_NEAR(sine_table[768], -1.0f, 1e-7);
  for (int i = 0; i < 1024; ++i) {
    double angle = i * 3.14159265358979323846 / 512;
    ASSERT_NEAR(sine_table[i], std::sin(angle), 1e-6) << i;
    ASSERT_NEAR(cosine_table[i], std::cos(angle), 1e-6) << i;
  }
  lookup_tables_free();
}

TEST(Tables, LightenTable) {
  ASSERT_EQ(lookup_tables_init(), 0);
  ASSERT_NE(lighten_table, nullptr);
  for (unsigned c = 0; c < 256; ++c) {
    EXPECT_EQ(lighten_table[c], c);              // row 0 is the identity
    EXPECT_EQ(lighten_table[255 * 256 + c], 255);  // row 255 is white
  }
  EXPECT_EQ(lighten_table[128 * 256 + 0], 128);
  EXPECT_EQ(lighten_table[128 * 256 + 100], 100 + (128 * 156) / 256);
  EXPECT_EQ(lighten_table[1 * 256 + 0], 1);
  lookup_tables_free();
  EXPECT_EQ(lighten_table, nullptr);
}

TEST(Clock, MillisecondsFromTheCounter) {
  headless::set_virtual_time(true);
  headless::advance_virtual_time(12345);
  clock_start();
  EXPECT_EQ(clock_ms(), 0u);
  headless::advance_virtual_time(headless::kTicksPerSecond / 60);  // one frame: 16.67 ms
  EXPECT_EQ(clock_ms(), 16u);
  headless::advance_virtual_time(headless::kTicksPerSecond * 2);
  EXPECT_EQ(clock_ms(), 2016u);
  // The product and quotient are unsigned 64-bit; the result wraps at 32 bits.
  headless::advance_virtual_time(headless::kTicksPerSecond * 4294967LL);
  EXPECT_EQ(clock_ms(), static_cast<std::uint32_t>(2016u + 4294967000ull));
  headless::set_counter_fails(true);
  EXPECT_EQ(clock_ms(), 0u);
  headless::set_counter_fails(false);
  headless::set_virtual_time(false);
}

// Started as if earlier by so many audio frames: the reading a clock started that much
// earlier gives, tick for tick (60 ticks an audio frame on the headless counter).
TEST(Clock, StartedAsIfEarlier) {
  headless::set_virtual_time(true);
  for (std::uint64_t frames : {1ull, 735ull, 44100ull, 3 * 44100ull + 123, 600ull * 44100 + 17}) {
    SCOPED_TRACE(frames);
    clock_start(frames);
    EXPECT_EQ(clock_ms(), static_cast<std::uint32_t>(frames * 1000 / 44100));
    for (int step = 0; step < 3; ++step) {
      headless::advance_virtual_time(headless::kTicksPerVideoFrame);
      const std::uint64_t ticks = frames * 60 + (step + 1) * headless::kTicksPerVideoFrame;
      EXPECT_EQ(clock_ms(), static_cast<std::uint32_t>(ticks * 1000 / headless::kTicksPerSecond));
    }
  }
  headless::set_virtual_time(false);
}

TEST(LoadingBar, FiveRowsFromRow97) {
  std::vector<std::uint32_t> px(320 * 200, 0x11111111);
  Surface s{px.data(), 320, 200, 1280};
  config_set_defaults(demo_config);
  draw_loading_bar(s, 0.5f);
  for (int y = 0; y < 200; ++y) {
    bool bar = y >= 97 && y < 102;
    EXPECT_EQ(px[y * 320 + 0], bar ? 0xFFFFFFFFu : 0u) << y;
    EXPECT_EQ(px[y * 320 + 159], bar ? 0xFFFFFFFFu : 0u) << y;
    EXPECT_EQ(px[y * 320 + 160], 0u) << y;
  }
  draw_loading_bar(s, 1.0f);
  EXPECT_EQ(px[99 * 320 + 319], 0xFFFFFFFFu);
  draw_loading_bar(s, 0.0f);
  for (auto v : px) ASSERT_EQ(v, 0u);  // cleared, no bar

  demo_config.progress_keep_background = 1;
  std::fill(px.begin(), px.end(), 0x22u);
  draw_loading_bar(s, 0.25f);
  EXPECT_EQ(px[0], 0x22u);
  EXPECT_EQ(px[98 * 320 + 79], 0xFFFFFFFFu);
  EXPECT_EQ(px[98 * 320 + 80], 0x22u);
  config_set_defaults(demo_config);
}

}  // namespace
