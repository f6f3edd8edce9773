// update_voice: a channel's changes carried over to its voice (trigger, gains, step).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "sound/module.h"
#include "sound/voice_update.h"

namespace {

// 32.32 samples per output frame for a frequency in Hz.
std::uint64_t step_for(int f) {
  const std::uint64_t whole = static_cast<std::uint64_t>(f) / mix_rate;
  const std::uint64_t fraction = ((static_cast<std::uint64_t>(f) % mix_rate) << 32) / mix_rate;
  return whole << 32 | fraction;
}

int clamped_frequency(double f) {
  if (f < 100) return 100;
  // Periods slid far below any note would overflow; they play at the highest rate.
  if (f > 2147483647.0) return 2147483647;
  return static_cast<int>(f);
}

// Linear frequencies: 8363 Hz x 2^(n / 768), n = 4608 - period + delta.
std::uint64_t linear_step(long long n) {
  return step_for(clamped_frequency(8363.0 * std::exp2(static_cast<double>(n) / 768.0)));
}

// A pitch wrapped around to nothing moves by 2^-32 of a value a frame: it stands still, and
// is not taken for a voice never given a frequency (step 0, which the mixer moves on to its
// boundaries).
std::uint64_t ft2_step(bool linear, long long period) {
  return std::max<std::uint64_t>(1, step_for(ft2_frequency(linear, period)));
}

}  // namespace

namespace voice_update {

const std::array<std::uint64_t, linear_steps_count> linear_steps = [] {
  std::array<std::uint64_t, linear_steps_count> t{};
  for (int i = 0; i < linear_steps_count; ++i) t[i] = linear_step(linear_steps_first + i);
  return t;
}();

const std::array<std::uint64_t, ft2_linear_steps_count> ft2_linear_steps = [] {
  std::array<std::uint64_t, ft2_linear_steps_count> t{};
  for (int i = 0; i < ft2_linear_steps_count; ++i) t[i] = ft2_step(true, i);
  return t;
}();

std::uint64_t step_beyond_table(const ModulePlayer& m, long long period) {
  if (m.ft2()) return ft2_step(m.linear_frequencies(), period);
  if (m.linear_frequencies()) return linear_step(4608 - period);
  return step_for(clamped_frequency(static_cast<double>(14317056 / period)));
}

const std::array<int, 257> ft2_pan_gains = [] {
  std::array<int, 257> t{};
  for (int i = 0; i <= 256; ++i) t[i] = static_cast<int>(std::lround(std::sqrt(i / 256.0) * 65536.0));
  return t;
}();

void start_note(ModulePlayer& m, Channel& ch, const Sample& s) {
  Voice* v = ch.voice;
  if (m.waiting_gains & (std::uint64_t{1} << (v->index & 63))) settle_gains(m, *v);
  if (v->sample) {
    // The old note ramps down in this record; the new one starts in the partner.
    const int idx = v->index;
    Voice& partner = m.voices[idx < 32 ? idx + 32 : idx - 32];
    const int partner_index = partner.index;
    partner = *v;
    partner.index = partner_index;
    v->volume = 0;
    v->left = 0;
    v->right = 0;
    note_voice_changed(m, *v);
    ch.voice = &partner;
    v = &partner;
  }
  v->sample = &s;
  if (v->start_offset >= static_cast<std::uint64_t>(s.loop_start) + s.loop_length) v->start_offset = 0;
  v->position = static_cast<std::uint64_t>(v->start_offset) << 32;
  v->direction = 1;
  v->start_offset = 0;
  v->current_left = 0;
  v->current_right = 0;
  v->ramp_frames_remaining = 0;
  v->ramp_step_left = 0;
  v->ramp_step_right = 0;
  if (ch.sample_offset_end) v->sample = nullptr;  // ft2: offset past the end, no note
}

}  // namespace voice_update

void update_voice(ModulePlayer& m, Channel& ch, const Sample& s) { voice_update::update(m, ch, s); }

void settle_gains(ModulePlayer& m, Voice& v) {
  m.waiting_gains &= ~(std::uint64_t{1} << (v.index & 63));
  if (v.gains_since != m.dry_frames) {
    // Frames went by: the ramp ran out unseen.
    voice_update::set_gains(m, v);
    end_ramp(v);
    return;
  }
  if (v.earlier_gains) {
    // Frames went by after the change before: its ramp ended.
    voice_update::set_gains(m, v, v.earlier_volume, v.earlier_panning);
    end_ramp(v);
  }
  const int left = v.left, right = v.right;
  voice_update::set_gains(m, v);
  if (v.left != left || v.right != right) note_voice_changed(m, v);
}
