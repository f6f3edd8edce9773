// A stroke font and the pictures made of letters and light: the title, its overlay, the
// sliders, the last picture of the sequence and the window icon.
#include <cstring>
#include <map>
#include <sstream>

#include "scenes.h"

namespace art {

namespace {

// Glyphs on a 4 x 6 grid (y down), polylines separated by '|'.
const std::map<char, const char*>& glyphs() {
  static const std::map<char, const char*> g = {
      {'A', "0,6 2,0 4,6|0.7,4 3.3,4"},
      {'B', "0,0 0,6 3,6 4,5 4,4 3,3 0,3|0,0 3,0 4,1 4,2 3,3"},
      {'C', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5"},
      {'D', "0,0 0,6 3,6 4,5 4,1 3,0 0,0"},
      {'E', "4,0 0,0 0,6 4,6|0,3 3,3"},
      {'F', "4,0 0,0 0,6|0,3 3,3"},
      {'G', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3 2,3"},
      {'H', "0,0 0,6|4,0 4,6|0,3 4,3"},
      {'I', "2,0 2,6|1,0 3,0|1,6 3,6"},
      {'K', "0,0 0,6|4,0 0,3.6|1.4,2.6 4,6"},
      {'L', "0,0 0,6 4,6"},
      {'M', "0,6 0,0 2,3 4,0 4,6"},
      {'N', "0,6 0,0 4,6 4,0"},
      {'O', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0"},
      {'P', "0,6 0,0 3,0 4,1 4,2 3,3 0,3"},
      {'R', "0,6 0,0 3,0 4,1 4,2 3,3 0,3|2,3 4,6"},
      {'S', "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5"},
      {'T', "0,0 4,0|2,0 2,6"},
      {'U', "0,0 0,5 1,6 3,6 4,5 4,0"},
      {'V', "0,0 2,6 4,0"},
      {'W', "0,0 1,6 2,3 3,6 4,0"},
      {'X', "0,0 4,6|4,0 0,6"},
      {'Y', "0,0 2,3 4,0|2,3 2,6"},
      {'Z', "0,0 4,0 0,6 4,6"},
      {'0', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0|4,1 0,5"},
      {'1', "1,1 2,0 2,6|1,6 3,6"},
      {'2', "0,1 1,0 3,0 4,1 4,2 0,6 4,6"},
      {'6', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3"},
      {'.', "2,5.7 2,6"},
      {'-', "1,3 3,3"},
  };
  return g;
}

struct Seg {
  float ax, ay, bx, by;
};

std::vector<Seg> layout(const char* text, float cx, float cy, float size) {
  float unit = size / 6.0f;
  std::size_t n = std::strlen(text);
  float width = (static_cast<float>(n) * 6.0f - 2.0f) * unit;
  float x0 = cx - width * 0.5f, y0 = cy - size * 0.5f;
  std::vector<Seg> segs;
  for (std::size_t i = 0; i < n; ++i) {
    auto it = glyphs().find(text[i]);
    if (it != glyphs().end()) {
      std::stringstream strokes(it->second);
      std::string stroke;
      while (std::getline(strokes, stroke, '|')) {
        std::stringstream pts(stroke);
        std::string pt;
        bool first = true;
        float px = 0, py = 0;
        while (pts >> pt) {
          float gx = std::stof(pt.substr(0, pt.find(','))), gy = std::stof(pt.substr(pt.find(',') + 1));
          float x = x0 + (static_cast<float>(i) * 6.0f + gx) * unit, y = y0 + gy * unit;
          if (!first) segs.push_back({px, py, x, y});
          px = x;
          py = y;
          first = false;
        }
      }
    }
  }
  return segs;
}

float seg_distance(const std::vector<Seg>& segs, float x, float y) {
  float best = 1e9f;
  for (const Seg& s : segs) {
    float dx = s.bx - s.ax, dy = s.by - s.ay;
    float t = clampf(((x - s.ax) * dx + (y - s.ay) * dy) / std::max(dx * dx + dy * dy, 1e-6f), 0.0f, 1.0f);
    float ex = x - s.ax - dx * t, ey = y - s.ay - dy * t;
    best = std::min(best, ex * ex + ey * ey);
  }
  return std::sqrt(best);
}

// Classic chrome: the tube's normal picks a colour from a sky-over-desert gradient.
V3 chrome(float nx, float ny, float nz) {
  float t = ny;  // up is +
  V3 col = t > 0 ? mix(v3(1.4f, 1.5f, 1.8f), v3(0.15f, 0.3f, 0.8f), std::pow(t, 0.7f))
                 : mix(v3(0.5f, 0.3f, 0.15f), v3(1.3f, 0.85f, 0.4f), std::pow(-t, 0.6f));
  float spec = std::pow(std::max(0.0f, -0.5f * nx + 0.6f * ny + 0.62f * nz), 40.0f);
  return col + v3(3.0f) * spec;
}

// Shades strokes of half-width w around the text's core lines; returns coverage in alpha.
V3 chrome_text(const std::vector<Seg>& segs, float w, float x, float y, float& alpha) {
  float d = seg_distance(segs, x, y);
  alpha = smooth(w + 0.7f, w - 0.7f, d);
  if (alpha <= 0) return v3(0);
  const float e = 0.5f;
  float gx = seg_distance(segs, x + e, y) - seg_distance(segs, x - e, y);
  float gy = seg_distance(segs, x, y + e) - seg_distance(segs, x, y - e);
  float gl = std::sqrt(gx * gx + gy * gy) + 1e-5f;
  float k = clampf(d / w, 0.0f, 1.0f);
  float nz = std::sqrt(1.0f - k * k);
  // Screen y grows downward; the normal's up is -gy.
  return chrome(gx / gl * k, -gy / gl * k, nz);
}

V3 synth_backdrop(float x, float y) {
  // Dusk over a glowing horizon with a perspective grid.
  const float horizon = 128.0f;
  if (y < horizon) {
    float el = (horizon - y) / horizon;
    V3 col = mix(v3(1.2f, 0.35f, 0.35f), v3(0.05f, 0.02f, 0.12f), std::pow(el, 0.45f));
    col += v3(0.9f) * stars(x, y, 0.06f, 31) * smooth(0.3f, 0.8f, el);
    // The sun, cut by bands.
    float dx = x - 160.0f, dy = y - 105.0f;
    float r = std::sqrt(dx * dx + dy * dy);
    if (r < 40.0f && !(y > 95.0f && std::fmod(y, 6.0f) < (y - 95.0f) * 0.14f))
      col = mix(v3(2.2f, 1.4f, 0.3f), v3(2.0f, 0.3f, 0.6f), clampf((y - 65.0f) / 40.0f, 0.0f, 1.0f));
    col += v3(1.2f, 0.3f, 0.5f) * (0.35f * std::exp(-std::max(r - 40.0f, 0.0f) * 0.05f));
    return col;
  }
  float depth = 30.0f / (y - horizon + 1.0f);
  float gx = (x - 160.0f) * depth * 0.05f;
  float gz = depth * 3.0f;
  float lx = std::fabs(gx - std::round(gx)), lz = std::fabs(gz - std::round(gz));
  float line = std::max(smooth(0.06f * depth + 0.02f, 0.0f, lx), smooth(0.05f * depth + 0.02f, 0.0f, lz));
  V3 col = v3(0.02f, 0.0f, 0.05f) + v3(1.0f, 0.2f, 1.3f) * line * std::exp(-depth * 0.15f);
  return col + v3(1.2f, 0.3f, 0.5f) * (0.4f * std::exp(-(y - horizon) * 0.08f));
}

}  // namespace

float text_distance(const char* text, float cx, float cy, float size, float x, float y) {
  return seg_distance(layout(text, cx, cy, size), x, y);
}

void make_logo(Canvas& colour, Grey& mask) {
  auto segs = layout("VEXO", 160.0f, 62.0f, 72.0f);
  colour = render_px(320, 200, 2, [&](float x, float y) {
    V3 bg = synth_backdrop(x, y);
    float d = seg_distance(segs, x, y);
    bg += v3(0.5f, 0.6f, 1.6f) * (0.45f * std::exp(-std::max(d - 7.0f, 0.0f) * 0.25f));
    float a;
    V3 c = chrome_text(segs, 7.0f, x, y, a);
    return mix(bg, c, a);
  });
  mask = Grey(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      float d = seg_distance(segs, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
      mask.at(x, y) = smooth(16.0f, 6.0f, d);
    }
}

void make_overlay(Canvas& colour, Grey& mask) {
  // The subtitle and a lens flare across the letters.
  auto sub = layout("A KESTOL PRODUCTION", 160.0f, 116.0f, 9.0f);
  colour = Canvas(320, 200);
  mask = Grey(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
      float d = seg_distance(sub, fx, fy);
      float text = smooth(1.6f, 0.6f, d), glow = std::exp(-d * 0.35f) * 0.55f;
      float dx = fx - 228.0f, dy = fy - 34.0f;
      float flare = std::exp(-(dx * dx + dy * dy) * 0.004f) + 0.5f * std::exp(-std::fabs(dy) * 0.6f - std::fabs(dx) * 0.012f);
      float ring = std::exp(-std::pow(std::sqrt((fx - 110.0f) * (fx - 110.0f) + (fy - 82.0f) * (fy - 82.0f)) - 14.0f, 2.0f) * 0.2f) * 0.35f;
      float a = clampf(std::max(std::max(text, glow), std::max(flare, ring)), 0.0f, 1.0f);
      V3 c = v3(1.0f, 0.95f, 0.85f) * text + v3(1.0f, 0.4f, 0.8f) * glow + v3(1.0f, 0.9f, 0.7f) * flare +
             v3(0.5f, 0.8f, 1.0f) * ring;
      colour.at(x, y) = c / std::max(a, 0.05f) * 0.8f;
      mask.at(x, y) = a;
    }
}

void make_left_slider(Canvas& colour, Grey& mask) {
  const int w = 160, h = 200;
  const char* lines[] = {"VEXO", "CODE", "KESTOL", "MUSIC", "SYNTH", "GFX", "RAYS"};
  std::vector<std::vector<Seg>> text;
  for (int i = 0; i < 7; ++i) {
    float size = i == 0 ? 18.0f : 9.0f;
    float y = i == 0 ? 26.0f : 54.0f + 20.0f * static_cast<float>(i - 1) + (i % 2 == 0 ? -6.0f : 0.0f);
    text.push_back(layout(lines[i], 76.0f, y, size));
  }
  colour = render_px(w, h, 2, [&](float x, float y) {
    V3 glass = mix(v3(0.05f, 0.12f, 0.25f), v3(0.25f, 0.05f, 0.3f), y / 200.0f);
    glass += v3(0.3f, 0.5f, 0.9f) * (0.25f * fbm2(x * 0.05f, y * 0.05f, 4));
    for (std::size_t i = 0; i < text.size(); ++i) {
      float d = seg_distance(text[i], x, y);
      float wdt = i == 0 ? 1.8f : 0.9f;
      V3 ink = (i % 2 == 1 || i == 0) ? v3(1.3f, 1.2f, 1.0f) : v3(0.4f, 0.9f, 1.6f);
      glass = mix(glass, ink, smooth(wdt + 0.6f, wdt - 0.4f, d));
      glass += ink * (0.12f * std::exp(-d * 0.4f));
    }
    // A bright rim on the right edge.
    glass += v3(0.5f, 0.8f, 1.5f) * std::exp(-(146.0f - x) * 0.5f) * (x < 146.0f ? 1.0f : 0.0f);
    return glass;
  });
  mask = Grey(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float fx = static_cast<float>(x) + 0.5f;
      // Opaque panel with a soft falling edge towards the right.
      mask.at(x, y) = 0.82f * smooth(158.0f, 140.0f, fx) + 0.15f * smooth(160.0f, 146.0f, fx);
    }
}

void make_right_slider(Canvas& colour, Grey& mask) {
  // A crystal orb hanging on the right.
  const float cx = 236.0f, cy = 100.0f, r = 62.0f;
  V3 light = normalize(v3(-0.6f, 0.7f, -0.5f));
  colour = render_px(320, 200, 2, [&](float x, float y) {
    float dx = (x - cx) / r, dy = (cy - y) / r, r2 = dx * dx + dy * dy;
    V3 halo = v3(0.6f, 0.4f, 1.4f) * std::exp(-std::max(std::sqrt(r2) - 1.0f, 0.0f) * 4.0f);
    if (r2 >= 1.0f) return halo;
    V3 n = v3(dx, dy, -std::sqrt(1.0f - r2));
    V3 d = v3(0, 0, 1);
    V3 rf = reflect(d, n);
    // Inside: swirling light.
    float swirl = fbm3(dx * 2.0f + 3.0f, dy * 2.0f, n.z * 2.0f, 5);
    V3 inner = mix(v3(0.1f, 0.02f, 0.3f), v3(0.2f, 0.9f, 1.5f), smooth(0.35f, 0.75f, swirl));
    inner += v3(1.5f, 0.6f, 1.2f) * std::pow(smooth(0.55f, 0.8f, swirl), 2.0f);
    float fr = 0.08f + 0.9f * std::pow(1.0f + dot(d, n), 4.0f);
    V3 env = mix(v3(0.1f, 0.05f, 0.2f), v3(1.2f, 1.2f, 1.5f), smooth(-0.2f, 0.8f, rf.y));
    V3 col = mix(inner, env, fr) + v3(4.0f) * std::pow(std::max(dot(rf, light), 0.0f), 80.0f);
    return col;
  });
  mask = Grey(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      float dx = (static_cast<float>(x) + 0.5f - cx) / r, dy = (static_cast<float>(y) + 0.5f - cy) / r;
      float rr = std::sqrt(dx * dx + dy * dy);
      // The disc eases down into its glow, which starts where the disc ends: no dip between.
      const float glow = 0.75f * std::exp(-std::max(rr - 1.0f, 0.0f) * 4.0f);
      mask.at(x, y) = rr < 1.0f ? mixf(glow, 1.0f, smooth(1.0f, 0.97f, rr)) : glow;
    }
}

Canvas scene_title_type() {
  auto segs = layout("VEXO", 160.0f, 92.0f, 64.0f);
  auto small = layout("KESTOL 2026", 160.0f, 152.0f, 9.0f);
  // Coverage first, then light streaming past the letters from behind.
  Grey cover(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      cover.at(x, y) = smooth(8.0f, 6.0f, seg_distance(segs, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f));
  const float lx = 160.0f, ly = 70.0f;
  return render_px(320, 200, 1, [&](float x, float y) {
    float light = 0;
    const int n = 48;
    for (int i = 0; i < n; ++i) {
      float t = static_cast<float>(i) / static_cast<float>(n);
      int sx = static_cast<int>(x + (lx - x) * t), sy = static_cast<int>(y + (ly - y) * t);
      light += 1.0f - cover.at(std::clamp(sx, 0, 319), std::clamp(sy, 0, 199));
    }
    light /= static_cast<float>(n);
    float dx = x - lx, dy = y - ly, r = std::sqrt(dx * dx + dy * dy);
    float rays = std::pow(light, 6.0f) * std::exp(-r * 0.012f) * (0.7f + 0.3f * noise2(std::atan2(dy, dx) * 20.0f, 0.5f));
    V3 col = v3(0.01f, 0.01f, 0.03f) + v3(1.3f, 0.8f, 0.45f) * rays * 1.2f;
    col += v3(2.0f, 1.6f, 1.2f) * std::exp(-r * 0.08f);
    float a;
    V3 c = chrome_text(segs, 7.0f, x + 0.5f, y + 0.5f, a);
    col = mix(col, c * 0.55f, a);
    float ds = seg_distance(small, x + 0.5f, y + 0.5f);
    col = mix(col, v3(1.0f, 0.85f, 0.6f), smooth(1.3f, 0.5f, ds));
    return col;
  });
}

Canvas make_icon(int size) {
  auto segs = layout("V", static_cast<float>(size) * 0.5f, static_cast<float>(size) * 0.5f, static_cast<float>(size) * 0.72f);
  return render_px(size, size, 2, [&](float x, float y) {
    V3 bg = mix(v3(0.4f, 0.05f, 0.3f), v3(0.02f, 0.02f, 0.1f), y / static_cast<float>(size));
    float a;
    V3 c = chrome_text(segs, static_cast<float>(size) * 0.09f, x, y, a);
    return mix(bg, c, a);
  });
}

}  // namespace art
