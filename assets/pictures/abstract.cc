// The middle of the story: the world turns into light, geometry and number.
#include <array>

#include "scenes.h"

namespace art {

namespace {

V3 studio_env(V3 d) {
  // A soft studio: warm key light above left, cool fill, dark floor bounce.
  V3 col = mix(v3(0.02f, 0.02f, 0.03f), v3(0.25f, 0.3f, 0.4f), smooth(-0.2f, 0.8f, d.y));
  col += v3(3.0f, 2.6f, 2.0f) * std::pow(std::max(dot(d, normalize(v3(-0.5f, 0.8f, -0.3f))), 0.0f), 40.0f);
  col += v3(0.4f, 0.8f, 1.6f) * std::pow(std::max(dot(d, normalize(v3(0.9f, 0.3f, 0.2f))), 0.0f), 12.0f);
  return col;
}

struct Sphere {
  V3 c;
  float r;
  V3 alb;
  float mirror;
};

}  // namespace

Canvas scene_spheres() {
  const std::array<Sphere, 5> balls{{{v3(0, 1, 0), 1.0f, v3(0.9f), 0.9f},
                                     {v3(-2.1f, 0.6f, 0.8f), 0.6f, v3(0.8f, 0.2f, 0.1f), 0.25f},
                                     {v3(1.9f, 0.7f, 0.9f), 0.7f, v3(0.1f, 0.35f, 0.8f), 0.3f},
                                     {v3(-0.9f, 0.35f, -1.4f), 0.35f, v3(0.95f, 0.7f, 0.2f), 0.6f},
                                     {v3(1.0f, 0.3f, -1.5f), 0.3f, v3(0.2f, 0.8f, 0.4f), 0.2f}}};
  V3 light = normalize(v3(-0.5f, 0.8f, -0.3f));
  auto hit_sphere = [&](V3 o, V3 d, float& t, int& idx) {
    t = 1e9f;
    idx = -1;
    for (int i = 0; i < 5; ++i) {
      V3 oc = o - balls[i].c;
      float b = dot(oc, d), c = dot(oc, oc) - balls[i].r * balls[i].r, h = b * b - c;
      if (h < 0) continue;
      float tt = -b - std::sqrt(h);
      if (tt > 1e-3f && tt < t) {
        t = tt;
        idx = i;
      }
    }
    return idx >= 0;
  };
  std::function<V3(V3, V3, int)> trace = [&](V3 o, V3 d, int depth) -> V3 {
    float t;
    int i;
    bool hs = hit_sphere(o, d, t, i);
    float tf = d.y < 0 ? -o.y / d.y : 1e9f;
    if (!hs && tf > 1e8f) return studio_env(d);
    if (hs && t < tf) {
      V3 p = o + d * t, n = normalize(p - balls[i].c);
      float ts;
      int j;
      float sh = hit_sphere(p, light, ts, j) ? 0.15f : 1.0f;
      V3 base = balls[i].alb * (std::max(dot(n, light), 0.0f) * sh * 2.2f + 0.12f);
      float spec = std::pow(std::max(dot(reflect(d, n), light), 0.0f), 60.0f) * sh * 3.0f;
      float fr = balls[i].mirror + (1 - balls[i].mirror) * std::pow(1 + dot(d, n), 5.0f);
      V3 refl = depth < 3 ? trace(p, reflect(d, n), depth + 1) : studio_env(reflect(d, n));
      return mix(base, refl * balls[i].alb, fr) + v3(spec);
    }
    // Marble floor: veins from turbulent noise.
    V3 p = o + d * tf;
    float vein = std::sin(p.x * 5.0f + p.z * 3.0f + 9.0f * fbm2(p.x * 1.6f, p.z * 1.6f, 6));
    float cloud = fbm2(p.x * 0.7f + 4.0f, p.z * 0.7f, 4);
    V3 alb = mix(v3(0.62f, 0.6f, 0.57f), v3(0.78f, 0.75f, 0.72f), cloud);
    alb = mix(alb, v3(0.22f, 0.2f, 0.24f), 1.0f - smooth(0.0f, 0.1f, std::fabs(vein)));
    float ts;
    int j;
    float sh = hit_sphere(p, light, ts, j) ? 0.2f : 1.0f;
    // Contact darkening under each ball.
    float ao = 1.0f;
    for (const auto& b : balls) {
      V3 dd = b.c - p;
      ao *= 1.0f - 0.8f * std::pow(b.r / std::max(length(dd), b.r), 3.0f);
    }
    V3 col = alb * (light.y * sh * 1.8f + 0.15f) * ao;
    if (depth < 2) col = mix(col, trace(p, reflect(d, v3(0, 1, 0)), depth + 1), 0.25f);
    float fog = 1 - std::exp(-tf * 0.04f);
    return mix(col, v3(0.02f, 0.02f, 0.03f), fog);
  };
  Camera cam(v3(0.8f, 2.0f, -6.0f), v3(0, 0.8f, 0), 1.7f);
  return render(320, 200, 2, [&](float u, float v) { return trace(cam.pos, cam.ray(u, v), 0); });
}

namespace {
// Ray marching helper over a distance function.
template <typename F>
bool march(F&& sdf, V3 o, V3 d, float tmax, float& t, int steps = 160) {
  t = 0;
  for (int i = 0; i < steps && t < tmax; ++i) {
    float h = sdf(o + d * t);
    if (h < 0.0005f * (1 + t)) return true;
    t += h * 0.9f;
  }
  return false;
}
template <typename F>
V3 sdf_normal(F&& sdf, V3 p) {
  const float e = 0.001f;
  return normalize(v3(sdf(p + v3(e, 0, 0)) - sdf(p - v3(e, 0, 0)), sdf(p + v3(0, e, 0)) - sdf(p - v3(0, e, 0)),
                      sdf(p + v3(0, 0, e)) - sdf(p - v3(0, 0, e))));
}
}  // namespace

Canvas scene_metaballs() {
  const V3 centres[6] = {v3(0, 0, 0), v3(0.9f, 0.4f, 0.2f), v3(-0.8f, -0.3f, 0.3f),
                         v3(0.2f, 0.9f, -0.4f), v3(-0.3f, -0.9f, -0.2f), v3(1.1f, -0.6f, -0.5f)};
  auto sdf = [&](V3 p) {
    float sum = 0;
    for (const V3& c : centres) {
      V3 q = p - c;
      sum += 0.13f / std::max(dot(q, q), 1e-4f);
    }
    // Distance estimate from the field; good enough with the conservative step.
    return (1.0f - sum) * 0.22f / std::sqrt(sum + 0.1f);
  };
  Camera cam(v3(0, 0.3f, -4.2f), v3(0.1f, 0, 0), 1.6f);
  return render(320, 200, 2, [&](float u, float v) {
    V3 d = cam.ray(u, v);
    // Backdrop: dark red to violet with a ring of light.
    float r = std::sqrt(u * u + v * v);
    V3 bg = mix(v3(0.12f, 0.02f, 0.05f), v3(0.01f, 0.0f, 0.03f), clampf(r * 0.6f, 0.0f, 1.0f));
    bg += v3(1.2f, 0.4f, 0.15f) * (0.5f * std::exp(-std::pow((r - 0.95f) * 9.0f, 2.0f)));
    float t;
    if (!march(sdf, cam.pos, d, 9.0f, t, 200)) return bg;
    V3 p = cam.pos + d * t, n = sdf_normal(sdf, p);
    V3 rd = reflect(d, n);
    V3 env = mix(v3(0.05f, 0.01f, 0.02f), v3(1.6f, 0.7f, 0.3f), smooth(-0.3f, 0.9f, rd.y));
    env += v3(4.0f, 3.0f, 2.5f) * std::pow(std::max(dot(rd, normalize(v3(0.6f, 0.7f, -0.4f))), 0.0f), 50.0f);
    env += v3(0.4f, 0.5f, 1.8f) * std::pow(std::max(dot(rd, normalize(v3(-0.8f, -0.2f, -0.3f))), 0.0f), 8.0f);
    float fr = 0.55f + 0.45f * std::pow(1 + dot(d, n), 4.0f);
    return env * v3(1.0f, 0.82f, 0.6f) * fr;
  });
}

Canvas scene_sponge() {
  auto box = [](V3 p, float b) {
    V3 q = vabs(p) - v3(b);
    return std::min(std::max(q.x, std::max(q.y, q.z)), 0.0f) + length(vmax(q, 0.0f));
  };
  auto sdf = [&](V3 p) {
    float d = box(p, 1.0f);
    float s = 1.0f;
    for (int m = 0; m < 4; ++m) {
      V3 a{std::fmod(std::fabs(p.x * s), 2.0f) - 1.0f, std::fmod(std::fabs(p.y * s), 2.0f) - 1.0f,
           std::fmod(std::fabs(p.z * s), 2.0f) - 1.0f};
      s *= 3.0f;
      V3 r = vabs(v3(1.0f) - vabs(a) * 3.0f);
      float da = std::max(r.x, r.y), db = std::max(r.y, r.z), dc = std::max(r.z, r.x);
      float c = (std::min(da, std::min(db, dc)) - 1.0f) / s;
      d = std::max(d, c);
    }
    return d;
  };
  Camera cam(v3(2.3f, 1.7f, -2.8f), v3(0, -0.1f, 0), 1.7f);
  V3 light = normalize(v3(0.6f, 0.9f, -0.4f));
  return render(320, 200, 2, [&](float u, float v) {
    V3 d = cam.ray(u, v);
    V3 bg = mix(v3(0.35f, 0.18f, 0.08f), v3(0.03f, 0.04f, 0.08f), clampf(0.5f + 0.6f * v, 0.0f, 1.0f));
    float t;
    if (!march(sdf, cam.pos, d, 12.0f, t, 180)) return bg;
    V3 p = cam.pos + d * t, n = sdf_normal(sdf, p);
    // Ambient occlusion from the distance field.
    float ao = 1.0f;
    for (int i = 1; i <= 5; ++i) {
      float h = 0.02f * static_cast<float>(i * i);
      ao -= (h - sdf(p + n * h)) * 2.5f / static_cast<float>(i);
    }
    ao = clampf(ao, 0.0f, 1.0f);
    float st;
    float sh = march(sdf, p + n * 0.004f, light, 4.0f, st, 80) ? 0.25f : 1.0f;
    V3 alb = mix(v3(0.85f, 0.6f, 0.35f), v3(0.35f, 0.45f, 0.7f), smooth(-1.0f, 1.0f, p.y));
    V3 col = alb * (v3(1.6f, 1.3f, 1.0f) * (std::max(dot(n, light), 0.0f) * sh) + v3(0.2f, 0.25f, 0.35f) * ao);
    return mix(col * ao, bg, 1 - std::exp(-t * 0.05f));
  });
}

namespace {
V3 palette(float t, V3 a, V3 b, V3 c, V3 d) {
  const float tau = 6.2831853f;
  return a + b * v3(std::cos(tau * (c.x * t + d.x)), std::cos(tau * (c.y * t + d.y)), std::cos(tau * (c.z * t + d.z)));
}
}  // namespace

Canvas scene_mandelbrot() {
  const double cx = -0.743643887, cy = 0.131825904, scale = 0.0032;
  return render(320, 200, 2, [&](float u, float v) {
    double x0 = cx + u * scale, y0 = cy + v * scale, x = 0, y = 0;
    int i = 0;
    const int max_iter = 900;
    for (; i < max_iter && x * x + y * y < 256.0; ++i) {
      double xt = x * x - y * y + x0;
      y = 2 * x * y + y0;
      x = xt;
    }
    if (i == max_iter) return v3(0.0f);
    float sm = static_cast<float>(i) - std::log2(std::log2(static_cast<float>(x * x + y * y))) + 4.0f;
    V3 c = palette(sm * 0.018f, v3(0.5f), v3(0.5f), v3(1.0f, 1.0f, 1.0f), v3(0.0f, 0.1f, 0.2f));
    return c * c * 1.2f;
  });
}

Canvas scene_julia() {
  const float kr = -0.8f, ki = 0.156f;
  return render(320, 200, 2, [&](float u, float v) {
    float x = u * 0.85f, y = v * 0.85f, trap = 1e9f;
    int i = 0;
    for (; i < 300 && x * x + y * y < 64.0f; ++i) {
      float xt = x * x - y * y + kr;
      y = 2 * x * y + ki;
      x = xt;
      trap = std::min(trap, std::fabs(x * x + y * y - 0.25f));
    }
    float glow = std::exp(-trap * 9.0f);
    if (i == 300) return v3(0.9f, 0.5f, 1.4f) * (0.25f * glow);
    float sm = static_cast<float>(i) - std::log2(std::log2(x * x + y * y));
    V3 c = palette(sm * 0.03f, v3(0.5f), v3(0.5f), v3(1.0f, 0.7f, 0.4f), v3(0.0f, 0.15f, 0.2f));
    return c * c * (0.1f + std::min(sm * 0.04f, 1.2f)) + v3(0.4f, 0.7f, 1.6f) * (glow * 0.8f);
  });
}

Canvas scene_tunnel() {
  return render(320, 200, 2, [&](float u, float v) {
    // A bending tunnel of light: polar coordinates around a drifting centre.
    float ox = u - 0.25f, oy = v - 0.1f;
    float r = std::sqrt(ox * ox + oy * oy) + 1e-4f;
    float a = std::atan2(oy, ox);
    float depth = 0.35f / r;
    float ring = std::pow(0.5f + 0.5f * std::cos(depth * 9.0f), 12.0f);
    float ribs = std::pow(0.5f + 0.5f * std::cos(a * 12.0f + depth * 0.8f), 20.0f);
    float tex = fbm2(a * 3.0f, depth * 1.5f, 5);
    V3 wall = mix(v3(0.05f, 0.02f, 0.12f), v3(0.1f, 0.3f, 0.9f), tex);
    V3 col = wall * (0.3f + 0.7f * tex) + v3(0.5f, 1.0f, 2.0f) * ring * 0.7f + v3(1.5f, 0.5f, 1.2f) * (ribs * 0.35f);
    float fog = std::exp(-depth * 0.12f);
    col = col * fog + v3(1.6f, 1.4f, 2.2f) * (std::exp(-r * 9.0f) * 1.5f);
    return col;
  });
}

}  // namespace art
