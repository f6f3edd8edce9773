// The earthly scenes of the story: night sea, sunrise, mountains, a lake valley, the city
// at dusk and the last sunset.
#include "scenes.h"

namespace art {

namespace {

struct SeaLight {
  V3 sun_dir, zenith, horizon, sun_col;
  float star_amount = 0;   // 0 none .. 1 full night
  float clouds = 0;        // cloud cover
  V3 cloud_lit, cloud_dark;
  float ridge = 0;         // height of the far mountain silhouette
  V3 ridge_col;
  float moon = 0;          // brightness of a moon (night only)
  V3 moon_dir;
};

V3 sea_sky(const SeaLight& L, V3 d, float px, float py) {
  V3 col = sky(d, L.sun_dir, L.zenith, L.horizon, L.sun_col);
  if (L.star_amount > 0) {
    float fadeout = smooth(0.0f, 0.25f, d.y);
    col += v3(0.9f, 0.95f, 1.0f) * (L.star_amount * fadeout * stars(px, py, 0.08f, 11));
  }
  if (L.moon > 0) {
    float c = dot(d, L.moon_dir);
    float disc = smooth(0.99955f, 0.99975f, c);
    // A crescent: the disc minus a shifted disc.
    V3 off = normalize(L.moon_dir + v3(0.012f, 0.006f, 0));
    float shadow = smooth(0.99955f, 0.99975f, dot(d, off));
    col += v3(1.0f, 0.95f, 0.8f) * (L.moon * disc * (1.0f - shadow) * 3.0f);
    col += v3(0.3f, 0.4f, 0.6f) * (L.moon * 0.06f * std::pow(std::max(c, 0.0f), 200.0f));
  }
  if (L.clouds > 0 && d.y > 0.01f) {
    float k = 1.0f / d.y;
    float cx = d.x * k * 0.6f, cz = d.z * k * 0.6f;
    float n = fbm2(cx * 1.2f, cz * 1.2f + 5.0f, 6);
    float dens = smooth(1.0f - L.clouds * 0.55f, 1.05f - L.clouds * 0.3f, n + 0.25f);
    dens *= smooth(0.0f, 0.12f, d.y);
    float lit = std::pow(clampf(dot(d, L.sun_dir) * 0.5f + 0.5f, 0.0f, 1.0f), 6.0f);
    V3 cc = mix(L.cloud_dark, L.cloud_lit, lit * 0.8f + 0.2f * (1.0f - n));
    col = mix(col, cc, dens * 0.9f);
  }
  if (L.ridge > 0) {
    float az = std::atan2(d.x, d.z);
    float h = L.ridge * (0.25f + fbm2(az * 5.0f, 1.3f, 5)) - 0.05f * L.ridge;
    float el = std::asin(clampf(d.y, -1.0f, 1.0f));
    if (el < h) col = mix(L.ridge_col, L.horizon, 0.35f * smooth(0.0f, h + 1e-4f, el));
  }
  return col;
}

V3 seascape(const SeaLight& L, const Camera& cam, float u, float v, float px, float py) {
  V3 d = cam.ray(u, v);
  if (d.y >= 0) return sea_sky(L, d, px, py);
  float t = -cam.pos.y / d.y;
  V3 p = cam.pos + d * t;
  float e = 0.05f, s = 0.45f;
  auto wave = [&](float x, float z) { return fbm2(x * s, z * s * 2.5f, 5); };
  float h0 = wave(p.x, p.z);
  float amp = 0.9f / (1.0f + t * 0.04f);
  V3 n = normalize(v3(-(wave(p.x + e, p.z) - h0) / e * amp, 1.0f, -(wave(p.x, p.z + e) - h0) / e * amp));
  V3 r = reflect(d, n);
  r.y = std::fabs(r.y);
  float f = 0.02f + 0.98f * std::pow(1.0f - clampf(-dot(d, n), 0.0f, 1.0f), 5.0f);
  V3 deep = L.zenith * 0.25f + v3(0.0f, 0.015f, 0.025f);
  V3 col = mix(deep, sea_sky(L, r, px, 400.0f - py), f);
  float haze = 1.0f - std::exp(-t * 0.012f);
  return mix(col, L.horizon, haze * 0.8f);
}

V3 sun_at(float azimuth, float elevation) {
  return normalize(v3(std::sin(azimuth) * std::cos(elevation), std::sin(elevation),
                      std::cos(azimuth) * std::cos(elevation)));
}

// Terrain: ridged fractal hills.
float terrain(float x, float z, int octaves) {
  float sum = 0, amp = 1.0f, freq = 0.08f;
  for (int i = 0; i < octaves; ++i) {
    float n = noise2(x * freq, z * freq);
    float ridge = 1.0f - std::fabs(2.0f * n - 1.0f);
    sum += amp * (i < 2 ? n : ridge * ridge * 0.9f);
    amp *= 0.47f;
    freq *= 2.07f;
  }
  return sum * 9.0f - 4.0f;
}

struct Land {
  V3 sun, zenith, horizon, sun_col;
  float water = -100.0f;  // water level; below -50 means no water
  float snow = 4.0f;
};

bool march_terrain(V3 o, V3 d, float tmax, float& t) {
  t = 0.5f;
  float prev_t = t, prev_gap = 1.0f;
  for (int i = 0; i < 220 && t < tmax; ++i) {
    V3 p = o + d * t;
    float gap = p.y - terrain(p.x, p.z, 5);
    if (gap < 0.002f * t) {
      // Refine between the last two samples.
      t = prev_t + (t - prev_t) * prev_gap / std::max(prev_gap - gap, 1e-4f);
      return true;
    }
    prev_t = t;
    prev_gap = gap;
    t += std::max(0.45f * gap, 0.01f + 0.002f * t);
  }
  return false;
}

V3 shade_land(const Land& L, V3 o, V3 d, float t) {
  V3 p = o + d * t;
  float e = 0.02f + 0.001f * t;
  float h = terrain(p.x, p.z, 8);
  V3 n = normalize(v3(terrain(p.x - e, p.z, 8) - terrain(p.x + e, p.z, 8), 2 * e,
                      terrain(p.x, p.z - e, 8) - terrain(p.x, p.z + e, 8)));
  float slope = n.y;
  V3 rock = v3(0.18f, 0.14f, 0.11f), grass = v3(0.10f, 0.16f, 0.05f);
  V3 alb = mix(rock, grass, smooth(0.7f, 0.88f, slope) * (1.0f - smooth(2.0f, 3.5f, h)));
  float snow = smooth(L.snow - 0.6f, L.snow + 0.4f, h + 0.6f * slope + 0.4f * fbm2(p.x, p.z, 3));
  alb = mix(alb, v3(0.8f, 0.82f, 0.86f), snow * smooth(0.5f, 0.75f, slope));
  float diff = std::max(dot(n, L.sun), 0.0f);
  // Soft shadow: a few steps toward the sun.
  float sh = 1.0f;
  for (float s = 0.3f; s < 12.0f; s *= 1.6f) {
    V3 q = p + L.sun * s;
    sh = std::min(sh, clampf(8.0f * (q.y - terrain(q.x, q.z, 4)) / s, 0.0f, 1.0f));
  }
  V3 col = alb * (L.sun_col * (diff * sh * 1.6f) + L.zenith * (0.5f + 0.5f * n.y) * 0.6f);
  float fog = 1.0f - std::exp(-t * 0.018f);
  V3 fog_col = mix(L.horizon, L.sun_col * 0.8f, 0.3f * std::pow(std::max(dot(d, L.sun), 0.0f), 6.0f));
  return mix(col, fog_col, fog);
}

V3 landscape(const Land& L, const Camera& cam, float u, float v) {
  V3 d = cam.ray(u, v);
  float t;
  float tw = (L.water > -50 && d.y < 0) ? (L.water - cam.pos.y) / d.y : 1e9f;
  if (march_terrain(cam.pos, d, std::min(tw, 160.0f), t)) return shade_land(L, cam.pos, d, t);
  if (tw < 1e8f) {
    V3 p = cam.pos + d * tw;
    float rip = 0.015f * (fbm2(p.x * 3.0f, p.z * 6.0f, 3) - 0.5f);
    V3 r = normalize(v3(d.x + rip, -d.y, d.z + rip));
    V3 refl;
    float tr;
    if (march_terrain(p, r, 120.0f, tr)) refl = shade_land(L, p, r, tr);
    else refl = sky(r, L.sun, L.zenith, L.horizon, L.sun_col);
    float f = 0.1f + 0.9f * std::pow(1.0f + d.y, 6.0f);
    V3 col = mix(v3(0.01f, 0.04f, 0.05f), refl, clampf(f, 0.0f, 1.0f) * 0.95f);
    float fog = 1.0f - std::exp(-tw * 0.018f);
    return mix(col, L.horizon, fog);
  }
  V3 s = sky(d, L.sun, L.zenith, L.horizon, L.sun_col);
  // Thin high clouds.
  if (d.y > 0.02f) {
    float k = 1.0f / d.y;
    float n = fbm2(d.x * k * 0.7f + 3.0f, d.z * k * 0.7f, 5);
    s = mix(s, mix(L.horizon, v3(1.0f), 0.6f), smooth(0.55f, 0.8f, n) * smooth(0.02f, 0.2f, d.y) * 0.7f);
  }
  return s;
}

}  // namespace

Canvas scene_night_sea() {
  SeaLight L;
  L.sun_dir = sun_at(0.6f, -0.12f);
  L.zenith = v3(0.004f, 0.006f, 0.02f);
  L.horizon = v3(0.03f, 0.045f, 0.09f);
  L.sun_col = v3(0.2f, 0.3f, 0.6f);
  L.star_amount = 1.0f;
  L.moon = 1.0f;
  L.moon_dir = sun_at(-0.35f, 0.22f);
  L.ridge = 0.035f;
  L.ridge_col = v3(0.004f, 0.006f, 0.012f);
  Camera cam(v3(0, 2.0f, 0), v3(0, 1.75f, 10), 1.5f);
  return render(320, 200, 2, [&](float u, float v) {
    return seascape(L, cam, u, v, (u + 1.6f) * 100.0f, (1.0f - v) * 100.0f);
  });
}

Canvas scene_sunrise() {
  SeaLight L;
  L.sun_dir = sun_at(0.15f, 0.025f);
  L.zenith = v3(0.08f, 0.12f, 0.30f);
  L.horizon = v3(0.9f, 0.45f, 0.22f);
  L.sun_col = v3(2.2f, 1.0f, 0.35f);
  L.clouds = 0.7f;
  L.cloud_lit = v3(1.6f, 0.7f, 0.35f);
  L.cloud_dark = v3(0.12f, 0.08f, 0.16f);
  L.star_amount = 0.15f;
  Camera cam(v3(0, 1.2f, 0), v3(0, 1.1f, 10), 1.5f);
  return render(320, 200, 2, [&](float u, float v) {
    return seascape(L, cam, u, v, (u + 1.6f) * 100.0f, (1.0f - v) * 100.0f);
  });
}

Canvas scene_mountains() {
  Land L;
  L.sun = sun_at(-0.9f, 0.22f);
  L.zenith = v3(0.18f, 0.32f, 0.62f);
  L.horizon = v3(0.62f, 0.66f, 0.72f);
  L.sun_col = v3(1.5f, 1.25f, 0.95f);
  L.snow = 3.4f;
  Camera cam(v3(0, 13.0f, -30), v3(4.0f, 7.0f, 10), 1.6f);
  return render(320, 200, 1, [&](float u, float v) { return landscape(L, cam, u, v); });
}

Canvas scene_lake() {
  Land L;
  L.sun = sun_at(1.5f, 0.45f);
  L.zenith = v3(0.12f, 0.28f, 0.6f);
  L.horizon = v3(0.55f, 0.65f, 0.75f);
  L.sun_col = v3(1.6f, 1.45f, 1.2f);
  L.water = 2.3f;
  L.snow = 3.8f;
  Camera cam(v3(33, 3.6f, -4), v3(36, 2.8f, 20), 1.5f);
  return render(320, 200, 1, [&](float u, float v) { return landscape(L, cam, u, v); });
}

namespace {

// One building of the skyline: a box with an optional narrower top and a mast.
struct Tower {
  float x0, x1, top;     // left and right edge, height above the waterline (pixels)
  float inset, step;    // the top's inset on each side and the height where it starts
  float mast;           // height of a mast above the roof, 0 for none
  int id;
};

// Buildings of one layer, left to right across the picture, packed with small gaps.
std::vector<Tower> skyline(int layer, float min_w, float max_w, float min_h, float max_h) {
  std::vector<Tower> out;
  float x = -12.0f + 9.0f * hash2(layer, 1);
  for (int i = 0; x < 332.0f; ++i) {
    Tower t{};
    t.id = layer * 1000 + i;
    const float w = min_w + (max_w - min_w) * hash3(i, layer, 1);
    t.x0 = x;
    t.x1 = x + w;
    // A downtown in the middle: taller buildings around x = 170.
    const float centre = std::exp(-((x - 170.0f) * (x - 170.0f)) / 9000.0f);
    t.top = min_h + (max_h - min_h) * (0.35f * hash3(i, layer, 2) + 0.65f * centre * hash3(i, layer, 3));
    if (hash3(i, layer, 4) < 0.45f) {
      t.inset = std::floor(w * (0.15f + 0.15f * hash3(i, layer, 5)));
      t.step = t.top * (0.7f + 0.15f * hash3(i, layer, 6));
    } else {
      t.step = t.top;
    }
    t.mast = hash3(i, layer, 7) < 0.2f && t.top > 0.6f * max_h ? 6.0f + 8.0f * hash3(i, layer, 8) : 0.0f;
    out.push_back(t);
    x += w + (hash3(i, layer, 9) < 0.4f ? 1.0f + 3.0f * hash3(i, layer, 10) : 0.0f);
  }
  return out;
}

}  // namespace

Canvas scene_city_dusk() {
  const float water = 138.0f;           // the waterline
  const V3 zenith = v3(0.05f, 0.045f, 0.17f), horizon = v3(1.25f, 0.5f, 0.24f);
  const float sun_x = 206.0f;           // the sun has just set behind the skyline there
  // Far to near: hazy downtown towers, the middle blocks, the dark waterfront.
  const std::vector<Tower> layers[3] = {skyline(0, 16.0f, 34.0f, 8.0f, 30.0f),
                                        skyline(1, 10.0f, 22.0f, 18.0f, 62.0f),
                                        skyline(2, 7.0f, 15.0f, 26.0f, 92.0f)};
  const float haze[3] = {0.0f, 0.22f, 0.5f};
  const float floor_h[3] = {5.0f, 4.0f, 3.0f}, col_w[3] = {4.0f, 3.0f, 2.5f};

  auto sky_at = [&](float x, float y, bool stars_on) {
    const float el = clampf((water - y) / 130.0f, 0.0f, 1.0f);
    V3 col = mix(horizon, zenith, std::pow(el, 0.5f));
    const float dx = x - sun_x;
    col += v3(1.6f, 0.7f, 0.3f) * (0.7f * std::exp(-dx * dx / 5000.0f - el * 7.0f));
    // Thin clouds, lit from below by the set sun.
    const float band = smooth(20.0f, 45.0f, y) * smooth(112.0f, 80.0f, y);
    const float n = fbm2(x * 0.011f + 3.0f, y * 0.07f, 5);
    const float cloud = smooth(0.52f, 0.72f, n) * band;
    const V3 lit = mix(v3(0.35f, 0.12f, 0.22f), v3(1.5f, 0.55f, 0.35f), clampf(1.2f - el * 1.4f, 0.0f, 1.0f));
    col = mix(col, lit * (0.8f + 0.5f * std::exp(-dx * dx / 12000.0f)), cloud * 0.85f);
    if (stars_on) col += v3(0.9f) * (0.5f * stars(x, y, 0.05f, 3) * smooth(0.55f, 0.9f, el) * (1.0f - cloud));
    return col;
  };

  // The scene above the waterline at (x, y): the nearest building that covers it, or sky.
  auto scene = [&](float x, float y, bool reflected) -> V3 {
    const float up = water - y;  // height above the waterline
    for (int layer = 0; layer < 3; ++layer) {
      for (const Tower& t : layers[layer]) {
        if (x < t.x0 - 1.0f || x >= t.x1 + 1.0f) continue;
        const bool in_top = x >= t.x0 + t.inset && x < t.x1 - t.inset && up < t.top;
        const bool in_body = x >= t.x0 && x < t.x1 && up < t.step;
        const float mid = 0.5f * (t.x0 + t.x1);
        const bool in_mast = t.mast > 0 && std::fabs(x - mid) < 0.45f && up < t.top + t.mast;
        if (!in_top && !in_body && !in_mast) continue;
        if (in_mast && !in_top && !in_body) {
          // A red light on top of the mast.
          const float tip = t.top + t.mast - up;
          return tip < 1.2f && !reflected ? v3(2.5f, 0.2f, 0.1f) : v3(0.03f, 0.02f, 0.05f);
        }
        // The facade: dark, bluer with distance, warmer near the street, its sun-side edge
        // and its roof line catching the glow of the sky.
        const float h = haze[layer];
        V3 wall = mix(v3(0.02f, 0.017f, 0.035f), mix(horizon, zenith, 0.65f) * 0.5f, h);
        wall += v3(0.5f, 0.22f, 0.12f) * (0.12f * std::exp(-up / 4.0f) * (1.0f - h));
        const float roof = (in_top ? t.top : t.step) - up;
        const float side = x < sun_x ? t.x1 - x : x - t.x0;
        wall += horizon * (0.18f * std::exp(-roof * 1.5f) + 0.08f * std::exp(-side * 1.2f) * (1.0f - h));
        // Windows on a grid of floors and columns; some floors lit right across.
        const float fx = (x - t.x0) / col_w[layer], fy = up / floor_h[layer];
        const int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
        const float ux = fx - static_cast<float>(cx), uy = fy - static_cast<float>(cy);
        if (ux > 0.25f && ux < 0.75f && uy > 0.3f && uy < 0.8f && up > 1.5f && roof > 1.0f &&
            x > t.x0 + 0.8f && x < t.x1 - 0.8f) {
          const bool floor_lit = hash3(t.id, cy, 11) < 0.12f;
          const float chance = floor_lit ? 0.85f : 0.3f - 0.05f * static_cast<float>(layer);
          if (hash3(t.id * 31 + cx, cy, 12) < chance) {
            const float kind = hash3(t.id * 31 + cx, cy, 13);
            V3 light = kind < 0.7f ? v3(1.5f, 0.95f, 0.45f) : kind < 0.92f ? v3(0.8f, 1.0f, 1.25f) : v3(1.3f, 0.5f, 0.3f);
            light = light * (0.55f + 0.45f * hash3(t.id * 31 + cx, cy, 14));
            return mix(light, wall, h * 0.6f);
          }
        }
        return wall;
      }
    }
    return sky_at(x, y, !reflected);
  };

  return render_px(320, 200, 3, [&](float x, float y) {
    if (y < water) return scene(x, y, false);
    // The river: the city mirrored in slow ripples that grow towards the viewer; each
    // reflected point is smeared over a few rows, as moving water does.
    const float depth = y - water;
    const float amp = 0.2f + depth * 0.025f;
    const float sway = amp * (2.0f * noise2(x * 0.008f, depth * 0.3f) - 1.0f) * 2.0f +
                       amp * (noise2(x * 0.03f, depth * 0.6f) - 0.5f);
    const float spread = 0.5f + depth * 0.05f;
    V3 refl;
    for (int k = -2; k <= 2; ++k) refl += scene(x + sway, water - depth - 0.5f + static_cast<float>(k) * spread, true);
    refl = refl / 5.0f;
    const float fresnel = 0.75f - 0.3f * clampf(depth / 62.0f, 0.0f, 1.0f);
    V3 col = refl * fresnel + v3(0.01f, 0.012f, 0.03f);
    // The afterglow on the water below where the sun went down, broken by the ripples.
    const float dx = x - sun_x, width = 5.0f + depth * 0.5f;
    const float glitter = std::pow(noise2(x * 0.35f, depth * 1.3f), 6.0f) * std::exp(-dx * dx / (2.0f * width * width));
    col += v3(1.6f, 0.7f, 0.3f) * (glitter * 1.6f * std::exp(-depth * 0.02f));
    // Dark crests between the bright troughs.
    col = col * (0.85f + 0.15f * smooth(0.3f, 0.7f, noise2(x * 0.08f, depth * depth * 0.015f + depth * 0.4f)));
    return col;
  });
}

Canvas scene_sunset() {
  SeaLight L;
  L.sun_dir = sun_at(-0.2f, 0.04f);
  L.zenith = v3(0.10f, 0.06f, 0.22f);
  L.horizon = v3(1.0f, 0.32f, 0.15f);
  L.sun_col = v3(2.6f, 0.9f, 0.25f);
  L.clouds = 0.9f;
  L.cloud_lit = v3(1.8f, 0.55f, 0.3f);
  L.cloud_dark = v3(0.16f, 0.05f, 0.12f);
  L.ridge = 0.05f;
  L.ridge_col = v3(0.05f, 0.015f, 0.03f);
  Camera cam(v3(0, 1.5f, 0), v3(-1.0f, 1.55f, 10), 1.5f);
  return render(320, 200, 2, [&](float u, float v) {
    return seascape(L, cam, u, v, (u + 1.6f) * 100.0f, (1.0f - v) * 100.0f);
  });
}

}  // namespace art
