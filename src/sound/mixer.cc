// mix_voices: segments cut in advance at loop boundaries and ramp ends, so the inner
// loops only interpolate, scale and accumulate.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/cpu.h"
#include "sound/mixer_kernels.h"
#include "sound/module.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A voice that was never given a frequency still reaches its boundaries, at 256/44100.
constexpr std::uint64_t zero_step_substitute = 24932236;
constexpr float fraction_scale = 1.0f / 16777216.0f;

inline float interpolate(const std::int16_t* d, std::uint64_t pos) {
  const std::uint32_t i = static_cast<std::uint32_t>(pos >> 32);
  const float t = static_cast<float>(static_cast<std::uint32_t>(pos) >> 8) * fraction_scale;
  return static_cast<float>(d[i]) + t * static_cast<float>(d[i + 1] - d[i]);
}

#if defined(__SSE2__)
inline int pair_at(const std::int16_t* d, std::uint32_t i) {
  int v;
  std::memcpy(&v, d + i, sizeof v);
  return v;
}

// Four consecutive frames' interpolated values, the same single-precision operations per
// frame as interpolate(). p advances by four steps; low holds the four positions' low
// words (the fractions), which advance by the step's low word mod 2^32.
struct Interpolator4 {
  std::uint64_t delta;
  __m128i low, low_step;
  __m128 scale = _mm_set1_ps(fraction_scale);

  Interpolator4(std::uint64_t p, std::uint64_t d) : delta(d) {
    const std::uint32_t dl = static_cast<std::uint32_t>(d), pl = static_cast<std::uint32_t>(p);
    low = _mm_setr_epi32(static_cast<int>(pl), static_cast<int>(pl + dl), static_cast<int>(pl + 2 * dl),
                         static_cast<int>(pl + 3 * dl));
    low_step = _mm_set1_epi32(static_cast<int>(4 * dl));
  }
  __m128 next(const std::int16_t* d, std::uint64_t& p) {
    const std::uint64_t p1 = p + delta, p2 = p1 + delta, p3 = p2 + delta;
    // Each 32-bit load brings a sample and the next one (little-endian: s0 low, s1 high).
    const __m128i pairs =
        _mm_setr_epi32(pair_at(d, static_cast<std::uint32_t>(p >> 32)), pair_at(d, static_cast<std::uint32_t>(p1 >> 32)),
                       pair_at(d, static_cast<std::uint32_t>(p2 >> 32)), pair_at(d, static_cast<std::uint32_t>(p3 >> 32)));
    const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
    const __m128i s1 = _mm_srai_epi32(pairs, 16);
    const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(low, 8)), scale);
    low = _mm_add_epi32(low, low_step);
    p = p3 + delta;
    return _mm_add_ps(_mm_cvtepi32_ps(s0), _mm_mul_ps(t, _mm_cvtepi32_ps(_mm_sub_epi32(s1, s0))));
  }
};
#endif

// Constant gains; delta is the step, negated (mod 2^64) backwards. Four frames per pass
// with SSE2 (the same single-precision operations per frame as the scalar form, so the
// sums are identical), then two frames per pass.
template <bool Simd>
void mix_flat(const std::int16_t* d, std::uint64_t& pos, std::uint64_t delta, float* out, int n, float gl,
              float gr) {
  std::uint64_t p = pos;
  int i = 0;
#if defined(__SSE2__)
  if constexpr (Simd) {
    const __m128 gains = _mm_setr_ps(gl, gr, gl, gr);
    Interpolator4 in(p, delta);
    for (; i + 4 <= n; i += 4) {
      const __m128 v = in.next(d, p);
      _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(v, v), gains)));
      _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), gains)));
      out += 8;
    }
  }
#endif
  for (; i + 2 <= n; i += 2) {
    const std::uint64_t p1 = p + delta;
    const float v0 = interpolate(d, p);
    const float v1 = interpolate(d, p1);
    out[0] += v0 * gl;
    out[1] += v0 * gr;
    out[2] += v1 * gl;
    out[3] += v1 * gr;
    out += 4;
    p = p1 + delta;
  }
  if (i < n) {
    const float v0 = interpolate(d, p);
    out[0] += v0 * gl;
    out[1] += v0 * gr;
    p += delta;
  }
  pos = p;
}

template <bool Simd>
void mix_ramp(const std::int16_t* d, std::uint64_t& pos, std::uint64_t delta, float* out, int n, float& gl,
              float& gr, float sl, float sr) {
  std::uint64_t p = pos;
  float l = gl, r = gr;
  int i = 0;
#if defined(__SSE2__)
  if constexpr (Simd) {
    // The gains still grow one frame at a time, in the same order of additions.
    Interpolator4 in(p, delta);
    for (; i + 4 <= n; i += 4) {
      const float l1 = l + sl, l2 = l1 + sl, l3 = l2 + sl;
      const float r1 = r + sr, r2 = r1 + sr, r3 = r2 + sr;
      const __m128 v = in.next(d, p);
      _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(v, v), _mm_setr_ps(l, r, l1, r1))));
      _mm_storeu_ps(out + 4,
                    _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), _mm_setr_ps(l2, r2, l3, r3))));
      out += 8;
      l = l3 + sl;
      r = r3 + sr;
    }
  }
#endif
  for (; i < n; ++i) {
    const float v = interpolate(d, p);
    out[0] += v * l;
    out[1] += v * r;
    out += 2;
    l += sl;
    r += sr;
    p += delta;
  }
  pos = p;
  gl = l;
  gr = r;
}

void start_or_continue_ramp(const ModulePlayer& m, Voice& v) {
  if (v.ramp_frames_remaining != 0 && v.left == v.last_left && v.right == v.last_right) return;
  v.last_left = v.left;
  v.last_right = v.right;
  const int cl = v.current_left >> 8, cr = v.current_right >> 8;
  const float frames = static_cast<float>(m.ramp_frames);
  v.ramp_step_left = v.left != cl ? static_cast<float>(v.left - cl) / 255.0f / frames : 0.0f;
  v.ramp_step_right = v.right != cr ? static_cast<float>(v.right - cr) / 255.0f / frames : 0.0f;
  if (v.left != cl || v.right != cr) {
    v.ramp_frames_remaining = m.ramp_frames;
  } else {
    // Targets already reached: no ramp, and the gains are exactly the targets.
    v.ramp_frames_remaining = 0;
    v.current_left = v.left * 256;
    v.current_right = v.right * 256;
  }
}

void ping_pong(const Sample& s, Voice& v) {
  const long long lo = static_cast<long long>(s.loop_start) << 32;
  const long long hi = (static_cast<long long>(s.loop_start) + s.loop_length) << 32;
  long long p = static_cast<long long>(v.position);
  if (v.direction == 2) {
    p = 2 * lo - p - 1;
    v.direction = 1;
    if (p >= hi) {
      p = 2 * hi - p - 1;
      v.direction = 2;
    }
  } else {
    p = 2 * hi - p - 1;
    v.direction = 2;
    if (p < lo) {
      p = 2 * lo - p - 1;
      v.direction = 1;
    }
  }
  // Steps longer than the loop could reflect out of it: keep the position where the
  // interpolation stays inside the sample.
  p = std::clamp(p, std::max(lo - 1, 0LL), hi - 1);
  v.position = static_cast<std::uint64_t>(p);
}

void at_boundary(const Sample& s, Voice& v) {
  if (s.loop_type == 2) {
    const std::uint64_t end = (static_cast<std::uint64_t>(s.loop_start) + s.loop_length) << 32;
    const std::uint64_t length = static_cast<std::uint64_t>(s.loop_length) << 32;
    if (v.position >= end) v.position = end - length + (v.position - end) % length;
  } else if (s.loop_type == 4) {
    ping_pong(s, v);
  } else {
    v.sample = nullptr;
    v.position = 0;
  }
}

// How a voice is run: mixed; skipped (it moves exactly as mixing would move it: position,
// direction, ramp gains; nothing is written), as a seek runs the song; or moved along its
// sample only, for a voice that waited off a ramp while a seek skipped frames.
enum class Run { mix, skip, move };

template <Run How>
void mix_voice(const ModulePlayer& m, Voice& v, float* out, int frames) {
  constexpr bool Dry = How != Run::mix;
  int remaining = frames;
  while (remaining > 0 && v.sample) {
    const Sample& s = *v.sample;
    const bool forward = v.direction != 2;
    if constexpr (Dry) {
      // A looped sample plays on, so a ramp that ends within these frames ends on its
      // targets, however the segments cut it: its gains on the way need no sums.
      const bool loops = plays_on(s);
      if (How == Run::skip && loops) {
        const bool continues = v.ramp_frames_remaining != 0 && v.left == v.last_left && v.right == v.last_right;
        if ((continues ? v.ramp_frames_remaining : m.ramp_frames) <= remaining) {
          end_ramp(v);
        } else {
          start_or_continue_ramp(m, v);
        }
      }
      // Off a ramp, a forward loop's segments only add steps and wrap: one sum and one
      // remainder land where they would.
      if (loops && (How == Run::move || v.ramp_frames_remaining == 0) && forward && s.loop_type == 2) {
        const std::uint64_t start = static_cast<std::uint64_t>(s.loop_start) << 32;
        const std::uint64_t length = static_cast<std::uint64_t>(s.loop_length) << 32;
        if (v.position < start + length) {
          const std::uint64_t p = v.position + v.step * static_cast<std::uint64_t>(remaining);
          v.position = p < start + length ? p : start + (p - start) % length;
          return;
        }
      }
      if (How == Run::skip && !loops) start_or_continue_ramp(m, v);
    } else {
      start_or_continue_ramp(m, v);
    }
    if constexpr (How == Run::mix) {
      // Off a ramp, a forward loop's ends need no cut where the loop is written out: the
      // values and fractions read are those of the loop itself, frame for frame.
      if (s.unrolled && v.ramp_frames_remaining == 0 && forward && v.step != 0) {
        const std::uint64_t start = static_cast<std::uint64_t>(s.loop_start) << 32;
        const std::uint64_t length = static_cast<std::uint64_t>(s.loop_length) << 32;
        if (v.position >= start && v.position - start < length) {
          std::uint64_t offset = v.position - start;
          const std::uint64_t span = static_cast<std::uint64_t>(s.unrolled_length) << 32;
          const std::uint64_t k = (span - offset + v.step - 1) / v.step;
          const int n = k < static_cast<std::uint64_t>(remaining) ? static_cast<int>(k) : remaining;
          if (v.left == 0 && v.right == 0)
            offset += v.step * static_cast<std::uint64_t>(n);
          else
            m.kernels->mix_flat(s.unrolled, offset, v.step, out, n, static_cast<float>(v.left) / 255.0f,
                                static_cast<float>(v.right) / 255.0f);
          v.position = start + offset % length;
          remaining -= n;
          out += 2 * n;
          continue;
        }
      }
    }
    const std::uint64_t boundary_step = v.step ? v.step : zero_step_substitute;
    std::uint64_t distance;
    if (forward) {
      std::uint64_t end = static_cast<std::uint64_t>(s.loop_start) + s.loop_length;
      if ((v.position >> 32) > end) end = static_cast<std::uint64_t>(s.length);
      distance = (end << 32) > v.position ? (end << 32) - v.position : 0;
    } else {
      const std::uint64_t start = static_cast<std::uint64_t>(s.loop_start) << 32;
      distance = v.position > start ? v.position - start : 0;
    }
    const std::uint64_t k = (distance + boundary_step - 1) / boundary_step;
    int n = remaining;
    bool boundary = false;
    if (k <= static_cast<std::uint64_t>(remaining)) {
      n = static_cast<int>(k);
      boundary = true;
    }
    if (!s.data) {  // nothing to read (length 0): the voice ends here
      n = 0;
      boundary = true;
    }
    const bool ramp = How != Run::move && v.ramp_frames_remaining != 0;
    if (ramp && v.ramp_frames_remaining < n) {
      n = v.ramp_frames_remaining;
      boundary = false;
    }
    const std::uint64_t delta = forward ? v.step : ~v.step + 1;
    if (ramp) {
      float gl = static_cast<float>(v.current_left) / 256.0f / 255.0f;
      float gr = static_cast<float>(v.current_right) / 256.0f / 255.0f;
      if constexpr (Dry) {
        // The gains grow one frame at a time, as in mix_ramp; a ramp that ends here is
        // set to its targets below, so only a cut one needs them.
        if (n < v.ramp_frames_remaining)
          for (int i = 0; i < n; ++i) {
            gl += v.ramp_step_left;
            gr += v.ramp_step_right;
          }
        v.position += delta * static_cast<std::uint64_t>(n);
      } else {
        m.kernels->mix_ramp(s.data, v.position, delta, out, n, gl, gr, v.ramp_step_left, v.ramp_step_right);
      }
      v.current_left = static_cast<int>(std::nearbyint(gl * 255.0f * 256.0f));
      v.current_right = static_cast<int>(std::nearbyint(gr * 255.0f * 256.0f));
      v.ramp_frames_remaining -= n;
      if (v.ramp_frames_remaining == 0) {
        v.ramp_step_left = 0;
        v.ramp_step_right = 0;
        v.current_left = v.left * 256;
        v.current_right = v.right * 256;
      }
    } else if (Dry || (v.left == 0 && v.right == 0)) {
      v.position += delta * static_cast<std::uint64_t>(n);  // adding zeros changes nothing
    } else {
      m.kernels->mix_flat(s.data, v.position, delta, out, n, static_cast<float>(v.left) / 255.0f,
               static_cast<float>(v.right) / 255.0f);
    }
    if (boundary) at_boundary(s, v);
    remaining -= n;
    if constexpr (!Dry) out += 2 * n;
  }
}

}  // namespace

namespace {

std::uint64_t voice_bit(const Voice& v) { return std::uint64_t{1} << (v.index & 63); }

}  // namespace

void sample_unroll_loop(Sample& s) {
  // Loops this long already cross their ends rarely.
  constexpr int shortest_unrolled = 4096;
  s.unrolled = nullptr;
  s.unrolled_length = 0;
  s.unrolled_storage.clear();
  if (s.loop_type != 2 || !s.data || s.loop_length <= 0 || s.loop_length >= shortest_unrolled / 2) return;
  const int loops = (shortest_unrolled + s.loop_length - 1) / s.loop_length;
  s.unrolled_length = loops * s.loop_length;
  s.unrolled_storage.resize(static_cast<std::size_t>(s.unrolled_length) + 8);
  for (int i = 0; i <= s.unrolled_length; ++i) s.unrolled_storage[i] = s.data[s.loop_start + i % s.loop_length];
  s.unrolled = s.unrolled_storage.data();
}

void mix_voices(ModulePlayer& m, float* span, int frames) {
  if (frames <= 0) return;
  for (Voice& v : m.voices)
    if (v.sample) mix_voice<Run::mix>(m, v, span, frames);
}

void begin_skipping(ModulePlayer& m) {
  m.skipping = true;
  m.waiting_gains = 0;
  m.busy_voices = 0;
  for (const Voice& v : m.voices) note_voice_changed(m, v);
}

namespace {

// Moves a voice distance (32.32) along its sample as mix_voice's dry runs would, where that
// is one sum (moves_straight), up to the end of a sample without a loop only with may_end.
// False, with the voice untouched, for the rest. The distance is under 2^63.
inline __attribute__((always_inline)) bool move_straight(Voice& v, std::uint64_t distance, bool may_end) {
  if (!moves_straight(v)) return false;
  const Sample& s = *v.sample;
  const std::uint64_t start = static_cast<std::uint64_t>(s.loop_start) << 32;
  const std::uint64_t end = start + (static_cast<std::uint64_t>(s.loop_length) << 32);
  const std::uint64_t p = v.position + distance;
  if (s.loop_type == 2) {
    v.position = p < end ? p : start + (p - start) % (end - start);
    return true;
  }
  if (p < end) {
    v.position = p;
  } else {
    if (!may_end) return false;
    v.sample = nullptr;
    v.position = 0;
  }
  return true;
}

}  // namespace

namespace {

// The general way: in pieces whose steps sum within 64 bits (a forward loop takes them in
// one sum).
__attribute__((noinline)) void settle_in_pieces(ModulePlayer& m, Voice& v) {
  const std::uint64_t most =
      v.step <= (1ull << 32) ? 1u << 30 : std::min<std::uint64_t>(1u << 30, (1ull << 62) / v.step);
  while (v.settled_at != m.dry_frames) {
    const std::uint64_t owed = std::min<std::uint64_t>(m.dry_frames - v.settled_at, most);
    v.settled_at += owed;
    if (v.sample) mix_voice<Run::move>(m, v, nullptr, static_cast<int>(owed));
  }
}

// The general way of a skip, frame-exactly, kept out of skip_voices' loop.
__attribute__((noinline)) void skip_voice_exactly(const ModulePlayer& m, Voice& v, int frames) {
  mix_voice<Run::skip>(m, v, nullptr, frames);
}

}  // namespace

void settle_voice_behind(ModulePlayer& m, Voice& v) {
  if (v.step_correction != 0) {
    // Only a voice that moves straight carries one (set_step), each of its steps under 2^42
    // and at most 2^20 frames from settled_at to corrected_at: that sum is exact.
    move_straight(v, v.step_correction + v.step * (v.corrected_at - v.settled_at), true);
    v.step_correction = 0;
    v.settled_at = v.corrected_at;
  }
  const std::uint64_t owed = m.dry_frames - v.settled_at;
  // The one piece settle_in_pieces would take, where it is one sum.
  const bool one_piece = ((owed <= (1u << 30)) & (v.step <= (1ull << 32))) | ((owed <= (1u << 20)) & (v.step <= (1ull << 42)));
  if (v.sample && one_piece && move_straight(v, v.step * owed, true)) {
    v.settled_at = m.dry_frames;
    return;
  }
  settle_in_pieces(m, v);
}

void settle_voices(ModulePlayer& m) {
  for (std::uint64_t waiting = m.waiting_gains; waiting != 0; waiting &= waiting - 1)
    settle_gains(m, m.voices[__builtin_ctzll(waiting)]);
  for (Voice& v : m.voices) settle_voice(m, v);
  m.skipping = false;
}

void skip_voices(ModulePlayer& m, int frames, std::uint64_t calm) {
  if (frames <= 0) return;
  calm = std::max<std::uint64_t>(calm, static_cast<std::uint64_t>(frames));
  // Gains that changed just now and would be looked at before their ramp ends take their
  // ramp as mixing does (the others' ramps have ended, or will end, unseen).
  if (m.waiting_gains != 0 && calm < static_cast<std::uint64_t>(m.ramp_frames))
    for (std::uint64_t waiting = m.waiting_gains; waiting != 0; waiting &= waiting - 1) {
      Voice& v = m.voices[__builtin_ctzll(waiting)];
      if (v.gains_since == m.dry_frames) settle_gains(m, v);
    }
  // Only the voices on a ramp or about to start one; the others wait (settle_voice).
  for (std::uint64_t busy = m.busy_voices; busy != 0; busy &= busy - 1) {
    Voice& v = m.voices[__builtin_ctzll(busy)];
    const bool continues = v.ramp_frames_remaining != 0 && v.left == v.last_left && v.right == v.last_right;
    const int needed = continues ? v.ramp_frames_remaining : m.ramp_frames;
    // A voice on a loop plays on whatever its gains do: a ramp that ends before anything
    // looks at it ends here (where the frames are cut on the way changes only the gains in
    // between), and the voice, steady then, catches up with its place later.
    if (v.sample && v.step != 0 && plays_on(*v.sample) && static_cast<std::uint64_t>(needed) <= calm) {
      end_ramp(v);
      m.busy_voices &= ~voice_bit(v);
      continue;
    }
    settle_voice(m, v);
    v.settled_at += static_cast<std::uint64_t>(frames);
    if (!v.sample) {
      m.busy_voices &= ~voice_bit(v);
      continue;
    }
    // As mix_voice<Run::skip> runs it: a ramp that ends within these frames (the voice
    // sounding on) ends on its targets, and the voice moves by one sum; it is steady then.
    if (needed <= frames && frames <= (1 << 20) && v.step <= (1ull << 42) &&
        move_straight(v, v.step * static_cast<std::uint64_t>(frames), false)) {
      end_ramp(v);
      m.busy_voices &= ~voice_bit(v);
      continue;
    }
    skip_voice_exactly(m, v, frames);
    if (!v.sample || voice_steady(v)) m.busy_voices &= ~voice_bit(v);
  }
  m.dry_frames += static_cast<std::uint64_t>(frames);
}

void pcm_convert(std::int16_t* destination, const float* source, int frames) {
  mixer_kernels().pcm_convert(destination, source, frames);
}

namespace {

template <bool Simd>
void pcm_convert_as(std::int16_t* destination, const float* source, int frames) {
  const int count = frames * 2;
  int i = 0;
#if defined(__SSE2__)
  if constexpr (Simd) {
    // cvtps rounds to nearest even under the default rounding mode; the clamp comes first
    // so nothing saturates to the wrong side.
    const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
      const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), lo), hi);
      const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i + 4), lo), hi);
      const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
    }
  }
#endif
  for (; i < count; ++i) {
    const float v = std::clamp(source[i], -32768.0f, 32767.0f);
    destination[i] = static_cast<std::int16_t>(std::lrint(v));
  }
}

const MixerKernels kernel_table[] = {
    {"plain", 0, mix_flat<false>, mix_ramp<false>, pcm_convert_as<false>},
#if defined(__SSE2__)
    {"sse2", cpu_sse2, mix_flat<true>, mix_ramp<true>, pcm_convert_as<true>},
#endif
};

}  // namespace

const MixerKernels& mixer_kernels() { static const MixerKernels& best = best_version(kernel_table); return best; }
int mixer_kernel_count() { return usable_versions(kernel_table); }
const MixerKernels& mixer_kernel(int index) { return kernel_table[index]; }

namespace {

// The output's chunk accounting: ticks run whenever the frames owed to the current tick
// are used up; between them the voices mix (or, dry, only move).
template <bool Dry>
int run_frames(ModulePlayer& m, float* span, int frames, TickGate gate, void* context, std::uint64_t more) {
  int mixed = 0;
  int left = m.samples_left_in_tick;
  while (mixed < frames) {
    if (left <= 0) {
      if (gate != nullptr && !gate(context, mixed)) break;
      m.tick_function(m);
      left = m.samples_per_tick;
    }
    const int n = std::min(left, frames - mixed);
    if constexpr (Dry)
      skip_voices(m, n, std::min<std::uint64_t>(static_cast<std::uint64_t>(left), static_cast<std::uint64_t>(frames - mixed) + more));
    else
      mix_voices(m, span + 2 * mixed, n);
    mixed += n;
    left -= n;
  }
  m.samples_left_in_tick = left;
  return mixed;
}

}  // namespace

int mix_frames(ModulePlayer& m, float* span, std::int16_t* pcm, int frames, TickGate gate,
               void* context) {
  if (frames <= 0) return 0;
  std::memset(span, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
  const int mixed = run_frames<false>(m, span, frames, gate, context, 0);
  pcm_convert(pcm, span, mixed);
  return mixed;
}

int skip_frames(ModulePlayer& m, int frames, TickGate gate, void* context, std::uint64_t more) {
  if (frames <= 0) return 0;
  return run_frames<true>(m, nullptr, frames, gate, context, more);
}
