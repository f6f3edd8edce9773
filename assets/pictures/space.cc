// Out into space: a nebula, a ringed planet, a spiral galaxy.
#include "scenes.h"

namespace art {

namespace {
V3 starfield(float x, float y) {
  V3 col = v3(0.9f, 0.9f, 1.0f) * stars(x, y, 0.10f, 21);
  col += v3(1.0f, 0.8f, 0.6f) * stars(x * 0.7f + 50.0f, y * 0.7f, 0.04f, 22);
  return col;
}
}  // namespace

Canvas scene_nebula() {
  return render_px(320, 200, 2, [&](float x, float y) {
    float u = x / 100.0f, v = y / 100.0f;
    // Domain warping gives the gas its folds.
    float wx = fbm2(u * 1.5f, v * 1.5f, 5), wy = fbm2(u * 1.5f + 5.2f, v * 1.5f + 1.3f, 5);
    float n = fbm2(u * 1.2f + 2.5f * wx, v * 1.2f + 2.5f * wy, 6);
    float dust = fbm2(u * 3.0f + 7.0f, v * 3.0f, 5);
    float gas = smooth(0.35f, 0.85f, n);
    V3 col = mix(v3(0.6f, 0.08f, 0.25f), v3(0.1f, 0.5f, 0.9f), smooth(0.3f, 0.7f, wx));
    col = col * (gas * 1.6f) + v3(1.2f, 0.8f, 0.5f) * std::pow(gas, 4.0f) * 1.5f;
    col = col * (1.0f - 0.85f * smooth(0.5f, 0.75f, dust));
    col += starfield(x, y) * (1.0f - 0.7f * gas);
    // Two bright young stars with soft cross flares.
    const float sx[2] = {205.0f, 96.0f}, sy[2] = {82.0f, 130.0f};
    for (int i = 0; i < 2; ++i) {
      float dx = x - sx[i], dy = y - sy[i], r2 = dx * dx + dy * dy;
      col += v3(1.0f, 0.95f, 1.2f) * (2.5f * std::exp(-r2 * 0.08f) + 0.4f * std::exp(-r2 * 0.002f));
      col += v3(0.8f, 0.85f, 1.2f) * (0.6f * std::exp(-std::fabs(dx) * 0.9f - std::fabs(dy) * 0.04f) +
                                      0.6f * std::exp(-std::fabs(dy) * 0.9f - std::fabs(dx) * 0.04f));
    }
    return col;
  });
}

Canvas scene_planet() {
  const V3 centre = v3(-0.35f, -0.05f, 0.0f);
  const float radius = 0.62f;
  const V3 sun = normalize(v3(1.0f, 0.35f, -0.55f));
  const V3 ring_n = normalize(v3(0.0f, 1.0f, -0.28f));
  return render(320, 200, 2, [&](float u, float v) {
    V3 o = v3(u, v, -3.0f), d = v3(0, 0, 1);
    V3 col = starfield((u + 1.6f) * 100.0f, (1.0f - v) * 100.0f) * 0.8f;
    // Ring plane hit.
    float tr = dot(centre - o, ring_n) / dot(d, ring_n);
    V3 pr = o + d * tr;
    float rr = length(pr - centre) / radius;
    float ring_alpha = 0;
    V3 ring_col;
    if (rr > 1.35f && rr < 2.35f) {
      float bands = 0.5f + 0.5f * std::sin(rr * 60.0f) * std::sin(rr * 23.0f);
      ring_alpha = (0.35f + 0.55f * bands) * smooth(1.35f, 1.45f, rr) * (1.0f - smooth(2.2f, 2.35f, rr));
      if (rr > 1.78f && rr < 1.84f) ring_alpha *= 0.15f;  // the gap
      // Planet shadow on the ring.
      V3 to = pr - centre;
      float along = dot(to, sun);
      float perp = length(to - sun * along);
      float lit = (along < 0 && perp < radius) ? 0.08f : 1.0f;
      ring_col = v3(0.9f, 0.78f, 0.6f) * (lit * 1.2f);
    }
    // Planet hit.
    V3 oc = o - centre;
    float b = dot(oc, d), c = dot(oc, oc) - radius * radius, h = b * b - c;
    float tp = h >= 0 ? -b - std::sqrt(h) : 1e9f;
    auto over = [&](V3 base, V3 top, float a) { return base * (1 - a) + top * a; };
    if (tp < 1e8f) {
      V3 p = o + d * tp, n = normalize(p - centre);
      float lat = n.y * 4.0f + 0.6f * fbm2(n.x * 3.0f, n.y * 14.0f, 5);
      V3 alb = mix(v3(0.75f, 0.55f, 0.35f), v3(0.95f, 0.88f, 0.72f), 0.5f + 0.5f * std::sin(lat * 3.0f));
      alb = mix(alb, v3(0.6f, 0.3f, 0.2f), smooth(0.6f, 0.9f, fbm2(n.x * 8.0f, n.y * 30.0f, 4)) * 0.5f);
      float diff = std::max(dot(n, sun), 0.0f);
      // Ring shadow on the planet.
      float ts = dot(centre - p, ring_n) / dot(sun, ring_n);
      if (ts > 0) {
        float rs = length(p + sun * ts - centre) / radius;
        if (rs > 1.35f && rs < 2.35f) diff *= 0.35f;
      }
      V3 pc = alb * (diff * 1.7f + 0.01f);
      pc += v3(0.3f, 0.5f, 1.0f) * (0.5f * std::pow(1.0f + dot(d, n), 3.0f) * std::max(dot(n, sun) + 0.3f, 0.0f));
      bool ring_in_front = ring_alpha > 0 && tr < tp;
      col = pc;
      if (ring_in_front) col = over(col, ring_col, ring_alpha);
    } else if (ring_alpha > 0) {
      col = over(col, ring_col, ring_alpha);
    }
    // A small moon.
    float mx = u - 1.05f, my = v - 0.55f, mr2 = mx * mx + my * my;
    if (mr2 < 0.0064f) {
      float mz = std::sqrt(0.0064f - mr2);
      V3 mn = normalize(v3(mx, my, -mz));
      col = v3(0.7f, 0.7f, 0.75f) * (std::max(dot(mn, sun), 0.0f) * 1.3f * (0.8f + 0.3f * noise2(mx * 90, my * 90)));
    }
    return col;
  });
}

Canvas scene_galaxy() {
  return render_px(320, 200, 2, [&](float x, float y) {
    // The disc is seen tilted: squash y.
    float u = (x - 165.0f) / 95.0f, v = (y - 98.0f) / 52.0f;
    float ca = 0.94f, sa = 0.34f;
    float gu = u * ca - v * sa, gv = u * sa + v * ca;
    float r = std::sqrt(gu * gu + gv * gv) + 1e-4f;
    float a = std::atan2(gv, gu);
    float arm = std::cos(2.0f * (a - 2.6f * std::log(r)));
    float arms = std::pow(0.5f + 0.5f * arm, 3.0f) * std::exp(-r * 1.3f);
    float clumps = fbm2(gu * 6.0f, gv * 6.0f, 5);
    float dust = smooth(0.45f, 0.8f, fbm2(gu * 9.0f + 3.0f, gv * 9.0f, 5)) * std::pow(0.5f + 0.5f * std::cos(2.0f * (a - 2.6f * std::log(r)) - 0.5f), 4.0f);
    V3 col = v3(0.45f, 0.6f, 1.2f) * (arms * (0.6f + 1.4f * clumps) * 1.4f);
    col += v3(1.6f, 1.1f, 0.7f) * (2.2f * std::exp(-r * r * 28.0f) + 0.35f * std::exp(-r * 4.0f));
    col = col * (1.0f - 0.75f * dust);
    col += v3(1.5f, 0.4f, 0.6f) * (arms * smooth(0.72f, 0.9f, clumps) * 1.5f);  // star-forming knots
    col += starfield(x, y) * 0.9f;
    return col;
  });
}

}  // namespace art
