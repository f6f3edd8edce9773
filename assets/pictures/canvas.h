// Small maths and canvas helpers shared by the picture generator's scenes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace art {

struct V3 {
  float x = 0, y = 0, z = 0;
};
inline V3 v3(float x, float y, float z) { return {x, y, z}; }
inline V3 v3(float s) { return {s, s, s}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, V3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline V3 operator*(float s, V3 a) { return a * s; }
inline V3 operator/(V3 a, float s) { return a * (1.0f / s); }
inline V3 operator-(V3 a) { return {-a.x, -a.y, -a.z}; }
inline V3& operator+=(V3& a, V3 b) { return a = a + b; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 normalize(V3 a) { return a / std::max(length(a), 1e-12f); }
inline V3 reflect(V3 d, V3 n) { return d - n * (2.0f * dot(d, n)); }
inline V3 mix(V3 a, V3 b, float t) { return a + (b - a) * t; }
inline float mixf(float a, float b, float t) { return a + (b - a) * t; }
inline float clampf(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }
inline float smooth(float e0, float e1, float x) {
  float t = clampf((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}
inline V3 vabs(V3 a) { return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)}; }
inline V3 vmax(V3 a, float m) { return {std::max(a.x, m), std::max(a.y, m), std::max(a.z, m)}; }
inline V3 vexp(V3 a) { return {std::exp(a.x), std::exp(a.y), std::exp(a.z)}; }

// Deterministic hashing and value noise (no library randomness: the build must be
// reproducible everywhere).
inline float hash2(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFF) / 16777216.0f;
}
inline float hash3(int x, int y, int z) { return hash2(x + z * 7919, y - z * 104729); }
float noise2(float x, float y);
float noise3(float x, float y, float z);
float fbm2(float x, float y, int octaves);
float fbm3(float x, float y, float z, int octaves);

// A linear-light RGB picture; written out with a filmic curve and gamma.
struct Canvas {
  int w = 320, h = 200;
  std::vector<V3> px;
  Canvas(int width = 320, int height = 200) : w(width), h(height), px(width * height) {}
  V3& at(int x, int y) { return px[y * w + x]; }
  const V3& at(int x, int y) const { return px[y * w + x]; }
};

// A grey picture (masks), 0..1.
struct Grey {
  int w = 320, h = 200;
  std::vector<float> px;
  Grey(int width = 320, int height = 200) : w(width), h(height), px(width * height) {}
  float& at(int x, int y) { return px[y * w + x]; }
};

// Renders f(u, v) with u in [-aspect, aspect] (left to right) and v in [-1, 1] (bottom to
// top), averaging ss x ss samples per pixel.
Canvas render(int w, int h, int ss, const std::function<V3(float u, float v)>& f);
// Same, with pixel coordinates (x right, y down, pixel centres at .5).
Canvas render_px(int w, int h, int ss, const std::function<V3(float x, float y)>& f);

// 8-bit sRGB-ish output with a soft shoulder.
std::vector<std::uint8_t> to_rgb8(const Canvas& c);
std::vector<std::uint8_t> to_grey8(const Grey& g);

// A camera ray for screen point (u, v).
struct Camera {
  V3 pos, fwd, right, up;
  float zoom = 1.6f;
  Camera(V3 eye, V3 target, float z = 1.6f);
  V3 ray(float u, float v) const;
};

// Sky used by several outdoor scenes.
V3 sky(V3 dir, V3 sun_dir, V3 zenith, V3 horizon, V3 sun_col);

// Stars: a sparse twinkle field for screen point (px, py) in pixels.
float stars(float x, float y, float density, int seed);

}  // namespace art
