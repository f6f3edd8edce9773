// update_voice: a channel's changes carried over to its voice (trigger, gains, step).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "sound/module.h"

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

// The steps of the linear periods that notes and their effects reach, made once per process.
constexpr long long linear_steps_first = -4096, linear_steps_count = 12288;

// The period a voice's pitch follows: a delta raises a linear period's pitch (as in the
// formula below) and adds to an Amiga one.
long long pitch_period(const ModulePlayer& m, const Channel& ch) {
  return m.linear_frequencies() ? static_cast<long long>(ch.period) - ch.period_delta
                                : static_cast<long long>(ch.period) + ch.period_delta;
}

std::uint64_t step_of(const ModulePlayer& m, const Channel& ch) {
  // A pitch wrapped around to nothing moves by 2^-32 of a value a frame: it stands still, and
  // is not taken for a voice never given a frequency (step 0, which the mixer moves on to
  // its boundaries).
  if (m.ft2()) return std::max<std::uint64_t>(1, step_for(ft2_frequency(m.linear_frequencies(), pitch_period(m, ch))));
  if (m.linear_frequencies()) {
    static const std::vector<std::uint64_t> table = [] {
      std::vector<std::uint64_t> t(linear_steps_count);
      for (long long i = 0; i < linear_steps_count; ++i) t[i] = linear_step(linear_steps_first + i);
      return t;
    }();
    // (4608.0 - period + delta) in double arithmetic is this integer exactly.
    const long long n = 4608 - static_cast<long long>(ch.period) + ch.period_delta;
    const unsigned long long slot = static_cast<unsigned long long>(n - linear_steps_first);
    return slot < static_cast<unsigned long long>(linear_steps_count) ? table[slot] : linear_step(n);
  }
  return step_for(clamped_frequency(static_cast<double>(14317056 / (static_cast<long long>(ch.period) + ch.period_delta))));
}

// FastTracker 2's panning law: gain sqrt((256 - p) / 256) on the left, sqrt(p / 256) on
// the right, as 16.16 fractions for p = 0..256.
int ft2_pan_gain(int p) {
  static const auto table = [] {
    std::array<int, 257> t{};
    for (int i = 0; i <= 256; ++i) t[i] = static_cast<int>(std::lround(std::sqrt(i / 256.0) * 65536.0));
    return t;
  }();
  return table[p];
}

void set_gains(const ModulePlayer& m, Voice& v) {
  if (m.ft2()) {
    // 0 is left, 255 right.
    v.left = static_cast<int>((static_cast<long long>(v.volume) * ft2_pan_gain(256 - v.panning) + 32768) >> 16);
    v.right = static_cast<int>((static_cast<long long>(v.volume) * ft2_pan_gain(v.panning) + 32768) >> 16);
    return;
  }
  v.left = v.volume * v.panning / 255;
  v.right = v.volume * (255 - v.panning) / 255;
}

}  // namespace

void update_voice(ModulePlayer& m, Channel& ch, const Sample& s) {
  if (static_cast<long long>(ch.period) + ch.period_delta == 0) ch.update_flags &= ~update_frequency;
  Voice* v = ch.voice;
  // A voice a seek left waiting catches up before its sample, place or step changes.
  if (ch.update_flags & (update_trigger | update_restart)) settle_voice(m, *v);
  if (ch.update_flags & update_trigger) {
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
    if (ch.sample_offset_end) v->sample = nullptr;  // ft2: offset past the end, no note
  }
  if (ch.update_flags & update_volume) {
    const double vol = (static_cast<double>(ch.volume) + ch.volume_delta) * ch.volume_envelope.value *
                       ch.fadeout_volume * m.global_volume * 255.0 / 34359738368.0;
    v->volume = static_cast<int>(vol);
  }
  if (ch.update_flags & update_panning) {
    const long long centre_room = (128 - std::llabs(static_cast<long long>(ch.panning) - 128)) / 32;
    long long p = ch.panning + centre_room * (ch.panning_envelope.value - 32);
    if (m.ft2()) {
      // The envelope swings as far as the room towards the nearer side, scaled before the cut.
      const long long room = 128 - std::llabs(static_cast<long long>(ch.panning) - 128);
      p = ch.panning + ((static_cast<long long>(ch.panning_envelope.value) - 32) * room >> 5);
    }
    p = p < 0 ? 0 : p > 255 ? 255 : p;
    v->panning = static_cast<int>(p);
  }
  // Whether the voice may have left its steady state (see voice_steady).
  bool changed = ch.update_flags & update_trigger;
  if (ch.update_flags & (update_volume | update_panning)) {
    const int left = v->left, right = v->right;
    set_gains(m, *v);
    changed |= v->left != left || v->right != right;
  }
  if (ch.update_flags & update_frequency) {
    // Most ticks ask again for the period the voice already plays: keep its step.
    const long long period = pitch_period(m, ch);
    if (period != v->step_period || m.flags != v->step_flags) {
      settle_voice(m, *v);
      v->step = step_of(m, ch);
      v->step_period = period;
      v->step_flags = m.flags;
      changed = true;
    }
  }
  if (ch.update_flags & update_restart) {
    v->position = 0;
    v->start_offset = 0;
  }
  if (changed) note_voice_changed(m, *v);
}
