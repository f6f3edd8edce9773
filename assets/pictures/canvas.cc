// Noise, sampling and tone mapping for the picture generator.
#include "canvas.h"

namespace art {

namespace {
inline float fade(float t) { return t * t * (3.0f - 2.0f * t); }
}  // namespace

float noise2(float x, float y) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = fade(x - fx), ty = fade(y - fy);
  float a = hash2(ix, iy), b = hash2(ix + 1, iy);
  float c = hash2(ix, iy + 1), d = hash2(ix + 1, iy + 1);
  return mixf(mixf(a, b, tx), mixf(c, d, tx), ty);
}

float noise3(float x, float y, float z) {
  float fz = std::floor(z);
  int iz = static_cast<int>(fz);
  float tz = fade(z - fz);
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = fade(x - fx), ty = fade(y - fy);
  auto layer = [&](int k) {
    float a = hash3(ix, iy, k), b = hash3(ix + 1, iy, k);
    float c = hash3(ix, iy + 1, k), d = hash3(ix + 1, iy + 1, k);
    return mixf(mixf(a, b, tx), mixf(c, d, tx), ty);
  };
  return mixf(layer(iz), layer(iz + 1), tz);
}

float fbm2(float x, float y, int octaves) {
  float sum = 0, amp = 0.5f;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * noise2(x, y);
    // Rotate between octaves so the lattice does not show.
    float nx = 1.6f * x - 1.2f * y, ny = 1.2f * x + 1.6f * y;
    x = nx + 3.1f;
    y = ny + 1.7f;
    amp *= 0.5f;
  }
  return sum;
}

float fbm3(float x, float y, float z, int octaves) {
  float sum = 0, amp = 0.5f;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * noise3(x, y, z);
    x = x * 2.03f + 1.3f;
    y = y * 2.01f - 0.7f;
    z = z * 1.97f + 2.1f;
    amp *= 0.5f;
  }
  return sum;
}

Canvas render(int w, int h, int ss, const std::function<V3(float, float)>& f) {
  float aspect = static_cast<float>(w) / static_cast<float>(h);
  return render_px(w, h, ss, [&](float x, float y) {
    float u = (2.0f * x / static_cast<float>(w) - 1.0f) * aspect;
    float v = 1.0f - 2.0f * y / static_cast<float>(h);
    return f(u, v);
  });
}

Canvas render_px(int w, int h, int ss, const std::function<V3(float, float)>& f) {
  Canvas c(w, h);
  float inv = 1.0f / static_cast<float>(ss * ss);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      V3 sum;
      for (int sy = 0; sy < ss; ++sy)
        for (int sx = 0; sx < ss; ++sx)
          sum += f(static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / static_cast<float>(ss),
                   static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / static_cast<float>(ss));
      c.at(x, y) = sum * inv;
    }
  return c;
}

namespace {
std::uint8_t encode(float v) {
  v = std::max(v, 0.0f);
  v = v / (1.0f + 0.18f * v);  // gentle shoulder keeps highlights from clipping hard
  v = std::pow(std::min(v * 1.18f, 1.0f), 1.0f / 2.2f);
  return static_cast<std::uint8_t>(std::lround(v * 255.0f));
}
}  // namespace

std::vector<std::uint8_t> to_rgb8(const Canvas& c) {
  std::vector<std::uint8_t> out;
  out.reserve(c.px.size() * 3);
  for (const V3& p : c.px) {
    out.push_back(encode(p.x));
    out.push_back(encode(p.y));
    out.push_back(encode(p.z));
  }
  return out;
}

std::vector<std::uint8_t> to_grey8(const Grey& g) {
  std::vector<std::uint8_t> out;
  out.reserve(g.px.size());
  for (float v : g.px) out.push_back(static_cast<std::uint8_t>(std::lround(clampf(v, 0, 1) * 255.0f)));
  return out;
}

Camera::Camera(V3 eye, V3 target, float z) : pos(eye), zoom(z) {
  fwd = normalize(target - eye);
  right = normalize(cross(fwd, v3(0, 1, 0)));
  up = cross(right, fwd);
}

V3 Camera::ray(float u, float v) const { return normalize(fwd * zoom + right * u + up * v); }

V3 sky(V3 dir, V3 sun_dir, V3 zenith, V3 horizon, V3 sun_col) {
  float t = std::pow(1.0f - clampf(dir.y, 0.0f, 1.0f), 3.0f);
  V3 col = mix(zenith, horizon, t);
  float s = clampf(dot(dir, sun_dir), 0.0f, 1.0f);
  col += sun_col * (0.25f * std::pow(s, 8.0f) + 0.6f * std::pow(s, 64.0f));
  col += sun_col * (12.0f * smooth(0.9990f, 0.9996f, s));
  return col;
}

float stars(float x, float y, float density, int seed) {
  int cx = static_cast<int>(std::floor(x / 3.0f)), cy = static_cast<int>(std::floor(y / 3.0f));
  float h = hash3(cx, cy, seed);
  if (h > density) return 0.0f;
  float sx = (static_cast<float>(cx) + 0.5f + 0.8f * (hash3(cx, cy, seed + 1) - 0.5f)) * 3.0f;
  float sy = (static_cast<float>(cy) + 0.5f + 0.8f * (hash3(cx, cy, seed + 2) - 0.5f)) * 3.0f;
  float d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
  float bright = std::pow(hash3(cx, cy, seed + 3), 3.0f) * 3.0f + 0.3f;
  return bright * std::exp(-d2 * 2.2f);
}

}  // namespace art
