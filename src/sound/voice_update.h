// update_voice's common case, inline for the replayer's per-channel loops: gains and pitch
// checked in place; a note's start and a new step go out of line (voice.cc).
#pragma once

#include <array>
#include <cstdlib>

#include "sound/module.h"

namespace voice_update {

// A new note on the channel's voice (or its partner): the part of update_voice for
// update_trigger, after the voice has settled.
void start_note(ModulePlayer& m, Channel& ch, const Sample& s);
// The steps of the linear periods that notes and their effects reach, made once per process:
// in the classic replay by 4608 - period from linear_steps_first on, in FastTracker 2's by
// the period's 16 bits up to the last of twelve octaves.
constexpr int linear_steps_first = -4096, linear_steps_count = 12288, ft2_linear_steps_count = 9984;
extern const std::array<std::uint64_t, linear_steps_count> linear_steps;
extern const std::array<std::uint64_t, ft2_linear_steps_count> ft2_linear_steps;
// The step of a pitch period outside those tables.
std::uint64_t step_beyond_table(const ModulePlayer& m, long long period);
// FastTracker 2's panning law: gain sqrt((256 - p) / 256) on the left, sqrt(p / 256) on
// the right, as 16.16 fractions for p = 0..256.
extern const std::array<int, 257> ft2_pan_gains;

// The period a voice's pitch follows: a delta raises a linear period's pitch and adds to an
// Amiga one.
inline long long pitch_period(const ModulePlayer& m, const Channel& ch) {
  return m.linear_frequencies() ? static_cast<long long>(ch.period) - ch.period_delta
                                : static_cast<long long>(ch.period) + ch.period_delta;
}

// The voice's target gains for a volume and a panning.
inline void set_gains(const ModulePlayer& m, Voice& v, int volume, int panning) {
  if (m.ft2()) {
    // 0 is left, 255 right.
    v.left = static_cast<int>((static_cast<long long>(volume) * ft2_pan_gains[256 - panning] + 32768) >> 16);
    v.right = static_cast<int>((static_cast<long long>(volume) * ft2_pan_gains[panning] + 32768) >> 16);
    return;
  }
  v.left = volume * panning / 255;
  v.right = volume * (255 - panning) / 255;
}
inline void set_gains(const ModulePlayer& m, Voice& v) { set_gains(m, v, v.volume, v.panning); }

inline int voice_volume(const ModulePlayer& m, const Channel& ch) {
  return static_cast<int>((static_cast<double>(ch.volume) + ch.volume_delta) * ch.volume_envelope.value *
                          ch.fadeout_volume * m.global_volume * 255.0 / 34359738368.0);
}

inline int voice_panning(const ModulePlayer& m, const Channel& ch) {
  long long p;
  if (m.ft2()) {
    // The envelope swings as far as the room towards the nearer side, scaled before the cut.
    const long long room = 128 - std::llabs(static_cast<long long>(ch.panning) - 128);
    p = ch.panning + ((static_cast<long long>(ch.panning_envelope.value) - 32) * room >> 5);
  } else {
    const long long centre_room = (128 - std::llabs(static_cast<long long>(ch.panning) - 128)) / 32;
    p = ch.panning + centre_room * (ch.panning_envelope.value - 32);
  }
  return static_cast<int>(p < 0 ? 0 : p > 255 ? 255 : p);
}

// During a seek, the gains of a steady voice on a loop wait for its volume and panning to
// settle: a ramp to them would end before anything looks at it (the skip that follows
// checks), so only the last change matters, and a steady voice's sound does not depend on
// its gains. Meanwhile the voice stays steady on its old gains (settle_gains).
inline bool gains_may_wait(const ModulePlayer& m, const Voice& v, std::uint64_t bit) {
  return (m.waiting_gains & bit) || (!(m.busy_voices & bit) && voice_steady(v) && v.sample && plays_on(*v.sample));
}

inline void wait_for_gains(ModulePlayer& m, Voice& v, std::uint64_t bit, int volume, int panning) {
  if (!(m.waiting_gains & bit)) {
    m.waiting_gains |= bit;
    v.earlier_gains = false;
  } else if (v.gains_since != m.dry_frames) {
    // Frames went by since the last change: its ramp has ended.
    v.earlier_volume = v.volume;
    v.earlier_panning = v.panning;
    v.earlier_gains = true;
  }
  v.volume = volume;
  v.panning = panning;
  v.gains_since = m.dry_frames;
}

// The step of a pitch period (as pitch_period gives it).
inline std::uint64_t step_of(const ModulePlayer& m, long long period) {
  if (m.linear_frequencies()) {
    if (m.ft2()) {
      const std::uint32_t p = static_cast<std::uint32_t>(period) & 0xFFFF;
      if (p < static_cast<std::uint32_t>(ft2_linear_steps_count)) return ft2_linear_steps[p];
    } else {
      // (4608.0 - period + delta) in double arithmetic is this integer exactly.
      const unsigned long long slot = static_cast<unsigned long long>(4608 - period - linear_steps_first);
      if (slot < static_cast<unsigned long long>(linear_steps_count)) return linear_steps[slot];
    }
  }
  return step_beyond_table(m, period);
}

// The voice takes the step of a pitch period.
inline void set_step(ModulePlayer& m, Voice& v, long long period) {
  const std::uint64_t step = step_of(m, period);
  const std::uint64_t owed = m.dry_frames - v.settled_at;
  if (owed != 0) {
    // A voice left behind that moves straight keeps waiting: the frames it owes at the old
    // step go into its correction (settle_voice_behind). The bounds keep the sum exact.
    // (Once it has a correction, nothing that could stop it moving straight has changed.)
    if (owed <= (1u << 20) && v.step <= (1ull << 42) && step <= (1ull << 42) &&
        (v.corrected_at > v.settled_at || (v.sample && moves_straight(v)))) {
      v.step_correction += (v.step - step) * owed;
      v.corrected_at = m.dry_frames;
    } else {
      settle_voice_behind(m, v);
    }
  }
  v.step = step;
  v.step_period = period;
  v.step_flags = m.flags;
}

// update_voice (module.h).
[[gnu::always_inline]] inline void update(ModulePlayer& m, Channel& ch, const Sample& s) {
  if (static_cast<long long>(ch.period) + ch.period_delta == 0) ch.update_flags &= ~update_frequency;
  const std::uint8_t flags = ch.update_flags;
  // A voice a seek left waiting catches up before its sample, place or step changes.
  if (flags & (update_trigger | update_restart)) settle_voice(m, *ch.voice);
  if (flags & update_trigger) start_note(m, ch, s);
  Voice* v = ch.voice;
  // Whether the voice may have left its steady state (see voice_steady).
  bool changed = flags & update_trigger;
  if (flags & (update_volume | update_panning)) {
    int volume = v->volume, panning = v->panning;
    if (flags & update_volume) volume = voice_volume(m, ch);
    if (flags & update_panning) panning = voice_panning(m, ch);
    const std::uint64_t bit = std::uint64_t{1} << (v->index & 63);
    if (m.skipping && !(flags & update_trigger) && gains_may_wait(m, *v, bit)) {
      wait_for_gains(m, *v, bit, volume, panning);
    } else if (volume != v->volume || panning != v->panning) {
      // The gains follow from the volume and the panning alone: while they stay, so do the gains.
      v->volume = volume;
      v->panning = panning;
      const int left = v->left, right = v->right;
      set_gains(m, *v);
      changed |= v->left != left || v->right != right;
    }
  }
  if (flags & update_frequency) {
    // Most ticks ask again for the period the voice already plays: keep its step. A new
    // step (never 0) leaves a steady voice steady.
    const long long period = pitch_period(m, ch);
    if (period != v->step_period || m.flags != v->step_flags) set_step(m, *v, period);
  }
  if (flags & update_restart) {
    v->position = 0;
    v->start_offset = 0;
  }
  if (changed) note_voice_changed(m, *v);
}

}  // namespace voice_update
