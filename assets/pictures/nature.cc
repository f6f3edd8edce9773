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

Canvas scene_city_dusk() {
  V3 zen = v3(0.05f, 0.05f, 0.16f), hor = v3(1.1f, 0.42f, 0.2f);
  const float horizon_y = 128.0f;
  // Building outline of layer k at column x: height in pixels above the horizon.
  auto building = [&](int layer, float x, int& id) {
    float w = 9.0f + 7.0f * static_cast<float>(layer);
    int cell = static_cast<int>(std::floor((x + 37.0f * static_cast<float>(layer)) / w));
    id = cell * 7 + layer * 1000;
    float hgt = (14.0f + 30.0f * hash3(cell, layer, 5) + 28.0f * std::pow(hash3(cell, layer, 6), 4.0f)) *
                (1.0f - 0.28f * static_cast<float>(layer));
    if (layer == 1 && (cell % 9) == 4) hgt += 38.0f;  // a few towers
    return hgt;
  };
  auto scene = [&](float x, float y, bool mirrored) -> V3 {
    float el = (horizon_y - y) / 120.0f;
    V3 col = mix(hor, zen, std::pow(clampf(el, 0.0f, 1.0f), 0.55f));
    col += v3(1.4f, 0.6f, 0.25f) * (0.6f * std::exp(-((x - 200.0f) * (x - 200.0f)) / 9000.0f - el * 9.0f));
    if (!mirrored) col += v3(0.9f) * (0.6f * stars(x, y, 0.05f, 3) * smooth(0.35f, 0.8f, el));
    for (int layer = 2; layer >= 0; --layer) {
      int id;
      float hgt = building(layer, x, id);
      if (horizon_y - y < hgt) {
        float haze = 0.45f * static_cast<float>(layer) / 2.0f;
        V3 wall = mix(v3(0.012f, 0.01f, 0.02f), hor * 0.35f, haze);
        col = wall;
        // Windows: a grid, some lit.
        float wx = std::fmod(x + 37.0f * static_cast<float>(layer), 3.0f - 0.5f * static_cast<float>(layer));
        float wy = std::fmod(y, 4.0f - static_cast<float>(layer));
        int gx = static_cast<int>(x / 3.0f), gy = static_cast<int>(y / 4.0f);
        if (wx < 1.2f && wy < 1.6f && hash3(gx + id, gy, 9) < 0.33f - 0.08f * static_cast<float>(layer)) {
          float warm = hash3(gx, gy, 10);
          col = mix(v3(1.4f, 0.9f, 0.35f), v3(0.6f, 0.8f, 1.2f), warm < 0.8f ? 0.0f : 1.0f) * (1.0f - haze);
        }
      }
    }
    return col;
  };
  return render_px(320, 200, 2, [&](float x, float y) {
    if (y < horizon_y) return scene(x, y, false);
    float depth = y - horizon_y;
    float ripple = 3.0f * (noise2(x * 0.05f, depth * depth * 0.02f) - 0.5f) * (0.3f + depth * 0.06f);
    V3 c = scene(x + ripple, horizon_y - depth * 1.6f - 1.0f, true);
    return c * (0.55f - 0.2f * clampf(depth / 72.0f, 0.0f, 1.0f)) + v3(0.005f, 0.006f, 0.015f);
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
