// The masks the demo draws its overlays with, as the generator renders them. Walking out of
// a mask's opaque body, the alpha must only fall: a dip between the body and a brighter
// glow around it is a ring, and blended over the pictures it draws a dark outline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>

#include "scenes.h"

namespace {

struct Ring {
  int x = -1, y = -1;
  float alpha = 0, inner = 0;  // the pixel and the brightest step back towards the body
};

// Pixels within `band` steps (8-connected) of the body (alpha at least 90 % of the mask's
// peak) must not be brighter than their brightest neighbour one step nearer the body.
// Returns the first pixel that is, or x = -1.
Ring first_ring(const art::Grey& m, int band = 8, float tolerance = 0.02f) {
  const float peak = *std::max_element(m.px.begin(), m.px.end());
  std::vector<int> dist(m.px.size(), -1);
  std::deque<int> queue;
  for (int i = 0; i < static_cast<int>(m.px.size()); ++i)
    if (m.px[i] >= 0.9f * peak) {
      dist[i] = 0;
      queue.push_back(i);
    }
  while (!queue.empty()) {
    const int i = queue.front();
    queue.pop_front();
    if (dist[i] >= band) continue;
    const int x = i % m.w, y = i / m.w;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= m.w || ny >= m.h || dist[ny * m.w + nx] >= 0) continue;
        dist[ny * m.w + nx] = dist[i] + 1;
        queue.push_back(ny * m.w + nx);
      }
  }
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      const int d = dist[y * m.w + x];
      if (d <= 0) continue;
      float inner = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx >= 0 && ny >= 0 && nx < m.w && ny < m.h && dist[ny * m.w + nx] == d - 1)
            inner = std::max(inner, m.px[ny * m.w + nx]);
        }
      if (m.px[y * m.w + x] > inner + tolerance) return {x, y, m.px[y * m.w + x], inner};
    }
  return {};
}

// A disc of radius 20 in a 64 x 64 mask, its outside given by `outside` (distance from the
// rim in pixels -> alpha).
template <typename F>
art::Grey disc(F outside) {
  art::Grey m(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const float r = std::hypot(x + 0.5f - 32.0f, y + 0.5f - 32.0f);
      m.at(x, y) = r < 20.0f ? 1.0f : outside(r - 20.0f);
    }
  return m;
}

TEST(MaskRings, FoundBetweenABodyAndItsGlowButNotInASteadyFalloffOrAGap) {
  EXPECT_EQ(first_ring(disc([](float d) { return 0.75f * std::exp(-d * 0.2f); })).x, -1);
  EXPECT_EQ(first_ring(disc([](float) { return 0.0f; })).x, -1);  // a hard edge
  // A dark line two pixels wide between the disc and its glow.
  const Ring r = first_ring(disc([](float d) { return d < 2.0f ? 0.1f : 0.75f * std::exp(-(d - 2.0f) * 0.2f); }));
  EXPECT_GE(r.x, 0);
  EXPECT_GT(r.alpha, r.inner);
  // Two bodies with a dark gap between them: each side falls towards the gap.
  art::Grey two(64, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) two.at(x, y) = std::max(0.0f, 1.0f - std::fabs(std::fabs(x - 32.0f) - 12.0f) * 0.15f);
  EXPECT_EQ(first_ring(two).x, -1);
}

TEST(Masks, FallSteadilyOutOfTheirBodies) {
  struct Pair {
    const char* name;
    void (*make)(art::Canvas&, art::Grey&);
  };
  const Pair pairs[] = {{"m3", art::make_left_slider},
                        {"m4", art::make_right_slider},
                        {"m5", art::make_overlay},
                        {"mlogo", art::make_logo}};
  for (const Pair& p : pairs) {
    art::Canvas colour;
    art::Grey mask;
    p.make(colour, mask);
    ASSERT_GT(mask.w, 0) << p.name;
    const Ring r = first_ring(mask);
    EXPECT_EQ(r.x, -1) << p.name << ": a ring at (" << r.x << ", " << r.y << "): alpha " << r.alpha
                       << " outside a step of " << r.inner;
  }
}

}  // namespace
