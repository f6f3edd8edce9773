// The effects and the volume column, on the row tick and on the other ticks.
#include <algorithm>
#include <array>
#include <cmath>

#include "sound/replayer_internal.h"

namespace replayer {

int sine_256(int position) {
  static const auto table = [] {
    std::array<int, 64> t{};
    for (int i = 0; i < 64; ++i) t[i] = static_cast<int>(std::fabs(std::sin((i - 32) * M_PI / 32)) * 256);
    return t;
  }();
  return table[(position + 32) & 63];
}

namespace {

constexpr int top_note = 95;  // B-7, the last note of the keyboard

int wave(int shape, int position) {
  switch (shape) {
    case 0: return sine_256(position);
    case 1: return position >= 0 ? (position * 8) & 0xFF : 255 - ((position * 8) & 0xFF);
    default: return 255;
  }
}

std::int8_t advance(std::int8_t position, int speed) {
  int p = static_cast<std::int8_t>(position + speed);
  if (p > 31) p -= 64;
  return static_cast<std::int8_t>(p);
}

void tremolo_step(const ModulePlayer& m, Channel& ch) {
  const int shape = (ch.waveforms >> 4) & 3;
  int w = wave(shape == 3 ? 0 : shape, ch.tremolo_position);
  if (m.ft2() && shape == 1) {
    // FastTracker 2's ramp turns over with the vibrato's position, not the tremolo's.
    const int rise = (ch.tremolo_position * 8) & 0xFF;
    w = ch.vibrato_position >= 0 ? rise : 255 - rise;
  } else if (m.ft2() && shape == 3) {
    w = 255;  // square, as 2
  }
  int d = (w * ch.tremolo_depth) >> 6;
  if (ch.tremolo_position >= 0) {
    if (ch.volume + d > 64) d = 64 - ch.volume;
    ch.volume_delta = d;
  } else {
    if (ch.volume - d < 0) d = ch.volume;
    ch.volume_delta = -d;
  }
  ch.tremolo_position = advance(ch.tremolo_position, ch.tremolo_speed);
  ch.update_flags |= update_volume;
}

void tremor_step(Channel& ch) {
  if (ch.tremor_count >= ch.tremor_on) ch.volume_delta = -ch.volume;
  ++ch.tremor_count;
  if (ch.tremor_count == ch.tremor_on + ch.tremor_off) ch.tremor_count = 0;
  ch.update_flags |= update_volume;
}

// Counts down the phase's ticks; at the end the other phase starts: x + 1 ticks on, y + 1 off.
// The state: bit 7 on, bit 6 running, bits 0-3 the ticks left.
void ft2_tremor_step(Channel& ch) {
  int left = (ch.tremor_state & 0x0F) - 1;
  bool on = ch.tremor_state & 0x80;
  if (left < 0) {
    on = !on;
    left = on ? ch.tremor_memory >> 4 : ch.tremor_memory & 0x0F;
  }
  ch.tremor_state = static_cast<std::uint8_t>((on ? 0x80 : 0) | 0x40 | left);
  if (!on) ch.volume_delta = -ch.volume;
  ch.update_flags |= update_volume;
}

// The note offset comes from the ticks left in the row (FastTracker 2 counts them down):
// speed - tick = 1, 2, 3... give x, base, y, x, base, y... Past 15 left, the base note.
// An offset never goes past the top note.
void ft2_arpeggio(const ModulePlayer& m, Channel& ch, int xy) {
  const int left = m.speed - m.tick;
  const int phase = left >= 0 && left < 15 ? left % 3 : 0;
  int semis = phase == 0 ? 0 : phase == 1 ? xy >> 4 : xy & 0x0F;
  semis = std::max(0, std::min(semis, top_note - ch.real_note));
  if (semis == 0) {
    ch.period_delta = 0;
  } else if (m.linear_frequencies()) {
    ch.period_delta = semis * 64;
  } else {
    ch.period_delta = amiga_period(ch.real_note + semis, ch.finetune) - amiga_period(ch.real_note, ch.finetune);
  }
  ch.update_flags |= update_frequency;
}

void slide_up(int& value, int by, int limit) { value = std::min(value + by, limit); }
void slide_down(int& value, int by) { value = std::max(value - by, 0); }

// Keeps slides that the format lets run without a limit inside int.
int bounded(long long v) { return static_cast<int>(std::clamp<long long>(v, -(1 << 28), 1 << 28)); }

// A portamento's period: FastTracker 2 keeps it within 1..31999; the classic replay only
// within int.
int slid_period(const ModulePlayer& m, long long v) {
  return m.ft2() ? static_cast<int>(std::clamp<long long>(v, 1, 31999)) : bounded(v);
}

// The volume column's panning slides, on the row tick and on the others alike.
void slide_panning(Channel& ch, int delta) {
  ch.panning = bounded(static_cast<long long>(ch.panning) + delta);
  ch.update_flags |= update_panning;
}

void envelope_position(const EnvelopePoint* pts, int count, EnvelopeState& e, int t) {
  int j = 0;
  while (j < count - 1 && t > pts[j + 1].x) ++j;
  e.point = j;
  e.held = 0;
  if (j >= count - 1) {
    e.value = count > 0 ? pts[count - 1].y : 0;
    e.ended = 1;
    return;
  }
  e.ended = 0;
  e.tick = t;
  const int dx = pts[j + 1].x - pts[j].x;
  e.slope = dx == 0 ? 0 : ((pts[j + 1].y << 16) - (pts[j].y << 16)) / dx;
  e.accumulator = static_cast<int>(std::clamp<long long>(
      static_cast<long long>(t - pts[j].x) * e.slope + (pts[j].y << 16), -(1LL << 30), 1LL << 30));
  e.point = j + 1;
  e.value = e.accumulator >> 16;
}

int retrig_volume(int mode, int v) {
  switch (mode) {
    case 1: return v - 1;
    case 2: return v - 2;
    case 3: return v - 4;
    case 4: return v - 8;
    case 5: return v - 16;
    case 6: return v * 2 / 3;
    case 7: return v >> 1;
    case 9: return v + 1;
    case 10: return v + 2;
    case 11: return v + 4;
    case 12: return v + 8;
    case 13: return v + 16;
    case 14: return v * 3 / 2;
    case 15: return v * 2;
    default: return v;
  }
}

// FastTracker 2's retrigger starts the note again at its own period, from the start.
void ft2_retrigger(Channel& ch) {
  ch.period = ch.note_period;
  ch.update_flags |= update_trigger | update_frequency | update_volume;
}

bool sets_volume(std::uint8_t volume_column) { return volume_column >= 0x10 && volume_column <= 0x50; }

// Rxy in FastTracker 2 counts ticks across rows, the row tick included: when the count
// reaches y the note starts again. On the row tick a note of the row takes its place, an
// instrument number restarts the count and a volume in the volume column pauses it. A
// volume-column volume also keeps the retrigger from changing the volume.
void ft2_multi_retrig(Channel& ch, const PatternCell& cell, bool row_tick) {
  int count = ch.retrig_count;
  if (row_tick) {
    if (cell.instrument && cell.note != 255) count = 1;
    if (sets_volume(cell.volume)) {
      ch.retrig_count = static_cast<std::uint8_t>(count);
      return;
    }
  }
  const bool row_note = row_tick && cell.note != 0 && cell.note != 255;
  if (ch.retrig_interval && count >= ch.retrig_interval && !row_note) {
    if (ch.retrig_mode && !sets_volume(cell.volume)) ch.volume = std::clamp(retrig_volume(ch.retrig_mode, ch.volume), 0, 64);
    ft2_retrigger(ch);
    count = 0;
  }
  ch.retrig_count = static_cast<std::uint8_t>(std::min(count + 1, 255));
}

void extended_row(ModulePlayer& m, Channel& ch, const PatternCell& cell, int saved_period, int saved_volume,
                  int saved_panning) {
  const int x = cell.param >> 4, y = cell.param & 0x0F;
  switch (x) {
    case 0x1:
      if (y) ch.fine_porta_up_memory = static_cast<std::uint8_t>(y);
      ch.period = slid_period(m, static_cast<long long>(ch.period) - ch.fine_porta_up_memory * 4);
      break;
    case 0x2:
      if (y) ch.fine_porta_down_memory = static_cast<std::uint8_t>(y);
      ch.period = slid_period(m, static_cast<long long>(ch.period) + ch.fine_porta_down_memory * 4);
      break;
    case 0x4: ch.waveforms = static_cast<std::uint8_t>((ch.waveforms & 0xF0) | y); break;
    case 0x5:
      if (m.ft2()) break;  // the note's row took it
      // The shared silent sample stays untouched.
      if (ch.sample && ch.sample != &module_defaults::silent_sample) const_cast<Sample*>(ch.sample)->finetune = static_cast<std::int8_t>(y);
      break;
    case 0x6:
      if (y == 0) {
        ch.loop_row = m.row;
      } else {
        ch.loop_count = ch.loop_count == 0 ? y : ch.loop_count - 1;
        if (ch.loop_count != 0) {
          m.next_row = ch.loop_row;
          m.pattern_loop_taken = true;
          m.break_row = ch.loop_row;
        }
      }
      break;
    case 0x7: ch.waveforms = static_cast<std::uint8_t>((ch.waveforms & 0x0F) | y << 4); break;
    case 0x8:
      ch.panning = y * 16;
      ch.update_flags |= update_panning;
      break;
    case 0xA:
      if (y) ch.fine_volume_memory = static_cast<std::uint8_t>(y);
      slide_up(ch.volume, ch.fine_volume_memory, 64);
      ch.update_flags |= update_volume;
      break;
    case 0xB:
      if (y) ch.fine_volume_memory = static_cast<std::uint8_t>(y);
      slide_down(ch.volume, ch.fine_volume_memory);
      ch.update_flags |= update_volume;
      break;
    case 0xD:
      ch.period = saved_period;
      ch.volume = saved_volume;
      ch.panning = saved_panning;
      ch.update_flags &= 0xF0;
      break;
    case 0xE: m.pattern_delay_ticks = y * m.speed; break;
    default: break;
  }
}

void extended_tick(ModulePlayer& m, Channel& ch, const PatternCell& cell) {
  const int x = cell.param >> 4, y = cell.param & 0x0F;
  switch (x) {
    case 0x9:
      if (y && m.tick % y == 0) {
        if (m.ft2()) {
          // FastTracker 2 restarts the envelopes with the note.
          ft2_restart_envelopes(ch);
          ft2_retrigger(ch);
        } else {
          ch.update_flags |= 0x0B;
        }
      }
      break;
    case 0xC:
      if (m.tick == y) {
        ch.volume = 0;
        ch.update_flags |= update_volume;
      }
      break;
    case 0xD:
      if (m.ft2()) break;  // the replayer plays the delayed cell itself
      if (m.tick == y) {
        instrument_reset(ch, current_sample(ch));
        ch.period = ch.note_period;
        ch.update_flags |= update_frequency;
        if (cell.volume) volume_column_row(ch, cell.volume);
        ch.update_flags |= update_trigger;
      } else {
        ch.update_flags &= 0xF0;
      }
      break;
    default: break;
  }
}

}  // namespace

void vibrato(const ModulePlayer& m, Channel& ch) {
  const int w = wave(ch.waveforms & 3, ch.vibrato_position);
  const int d = ((w * ch.vibrato_depth) >> 5) & ~3;
  ch.period_delta = ch.vibrato_position < 0 ? d : -d;
  // Amiga periods grow as the pitch falls: FastTracker 2 bends them the same way round.
  if (m.ft2() && !m.linear_frequencies()) ch.period_delta = -ch.period_delta;
  ch.update_flags |= update_frequency;
}

void vibrato_advance(Channel& ch) { ch.vibrato_position = advance(ch.vibrato_position, ch.vibrato_speed); }

void tone_porta_step(Channel& ch) {
  const int by = ch.porta_speed * 4;
  if (ch.period < ch.porta_target) ch.period = std::min(ch.period + by, ch.porta_target);
  else if (ch.period > ch.porta_target) ch.period = std::max(ch.period - by, ch.porta_target);
  ch.update_flags |= update_frequency;
}

void volume_slide(Channel& ch) {
  const int m = ch.volume_slide_memory;
  if (m >> 4) slide_up(ch.volume, m >> 4, 64);
  else if (m & 0x0F) slide_down(ch.volume, m & 0x0F);
  ch.update_flags |= update_volume;
}

void volume_column_row(Channel& ch, std::uint8_t v) {
  const int y = v & 0x0F;
  switch (v >> 4) {
    case 0x1: case 0x2: case 0x3: case 0x4:
      ch.volume = v - 16;
      ch.update_flags |= update_volume;
      break;
    case 0x5:
      if (v == 0x50) {
        ch.volume = 64;
        ch.update_flags |= update_volume;
      }
      break;
    case 0x6: case 0x8:
      slide_down(ch.volume, y);
      ch.update_flags |= update_volume;
      break;
    case 0x7: case 0x9:
      slide_up(ch.volume, y, 64);
      ch.update_flags |= update_volume;
      break;
    case 0xA: ch.vibrato_speed = static_cast<std::uint8_t>(y); break;
    case 0xB: ch.vibrato_depth = static_cast<std::uint8_t>(y); break;
    case 0xC:
      ch.panning = y * 16;
      ch.update_flags |= update_panning;
      break;
    case 0xD:
      slide_panning(ch, -y);
      break;
    case 0xE:
      slide_panning(ch, y);
      break;
    case 0xF:
      if (y) ch.porta_speed = static_cast<std::uint8_t>(y * 16);
      ch.porta_target = ch.note_period;
      ch.update_flags &= ~update_trigger;
      break;
    default: break;
  }
}

void volume_column_tick(const ModulePlayer& m, Channel& ch, std::uint8_t v) {
  const int y = v & 0x0F;
  switch (v >> 4) {
    case 0x6:
      slide_down(ch.volume, y);
      ch.update_flags |= update_volume;
      break;
    case 0x7:
      slide_up(ch.volume, y, 64);
      ch.update_flags |= update_volume;
      break;
    case 0xB:
      ch.vibrato_depth = static_cast<std::uint8_t>(y);
      vibrato(m, ch);
      vibrato_advance(ch);
      break;
    case 0xD:
      slide_panning(ch, -y);
      break;
    case 0xE:
      slide_panning(ch, y);
      break;
    case 0xF: tone_porta_step(ch); break;
    default: break;
  }
}

void effect_row(ModulePlayer& m, Channel& ch, const PatternCell& cell, const Sample& s, int saved_period,
                int saved_volume, int saved_panning) {
  const int xy = cell.param, x = xy >> 4, y = xy & 0x0F;
  switch (cell.effect) {
    case 0x1: if (xy) ch.porta_up_memory = static_cast<std::uint8_t>(xy); break;
    case 0x2: if (xy) ch.porta_down_memory = static_cast<std::uint8_t>(xy); break;
    case 0x3:
      if (xy) ch.porta_speed = static_cast<std::uint8_t>(xy);
      ch.porta_target = ch.note_period;
      ch.update_flags &= ~(update_trigger | update_frequency);
      break;
    case 0x4:
      if (x) ch.vibrato_speed = static_cast<std::uint8_t>(x);
      if (y) ch.vibrato_depth = static_cast<std::uint8_t>(y);
      vibrato(m, ch);
      break;
    case 0x5:
      if (xy) ch.volume_slide_memory = static_cast<std::uint8_t>(xy);
      ch.porta_target = ch.note_period;
      ch.update_flags &= ~(update_trigger | update_frequency);
      break;
    case 0x6:
      if (xy) ch.volume_slide_memory = static_cast<std::uint8_t>(xy);
      vibrato(m, ch);
      break;
    case 0x7:
      if (x) ch.tremolo_speed = static_cast<std::uint8_t>(x);
      if (y) ch.tremolo_depth = static_cast<std::uint8_t>(y);
      break;
    case 0x8:
      ch.panning = xy;
      ch.update_flags |= update_panning;
      break;
    case 0x9: {
      if (m.ft2()) {
        // FastTracker 2 remembers an offset only where it starts a note.
        if (xy && (ch.update_flags & update_trigger)) ch.offset_memory = xy;
        // Only a note starts at an offset; one at or past the end leaves the channel silent.
        if (!(ch.update_flags & update_trigger)) break;
        const long long end = static_cast<long long>(s.loop_start) + s.loop_length;
        const long long at = static_cast<long long>(ch.offset_memory) * 256;
        if (at >= end) ch.sample_offset_end = 1;
        else ch.voice->start_offset = static_cast<std::uint32_t>(at);
        break;
      }
      if (xy) ch.offset_memory = xy;
      const long long offset = static_cast<long long>(ch.offset_memory) * 256;
      if (offset < static_cast<long long>(s.loop_start) + s.loop_length) {
        ch.voice->start_offset = static_cast<std::uint32_t>(offset);
      } else {
        ch.update_flags &= ~update_trigger;
        ch.update_flags |= update_restart;
      }
      break;
    }
    case 0xA: if (xy) ch.volume_slide_memory = static_cast<std::uint8_t>(xy); break;
    case 0xB:
      m.next_order = xy >= m.song_length ? 0 : xy;
      m.next_row = 0;
      m.position_jump_seen = true;
      m.break_row = 0;
      break;
    case 0xC:
      ch.volume = xy;
      ch.update_flags |= update_volume;
      break;
    case 0xD: {
      const int target = x * 10 + y;
      m.next_row = target > 63 ? 0 : target;
      m.break_row = 0;
      if (!m.position_jump_seen) {
        m.next_order = m.order_position + 1;
        if (m.next_order >= m.song_length) m.next_order = 0;
      }
      break;
    }
    case 0xE: extended_row(m, ch, cell, saved_period, saved_volume, saved_panning); break;
    case 0xF:
      if (xy < 32) m.speed = xy;
      else player_set_bpm(m, xy);
      break;
    case 0x10:
      m.global_volume = std::min(xy, 64);
      ch.update_flags |= update_volume;
      break;
    case 0x11: if (xy) m.global_slide_memory = static_cast<std::uint8_t>(xy); break;
    case 0x14:
      if (!m.ft2()) ch.key_off = 1;  // ft2: K00 was taken with the note, Kxx waits for tick xx
      break;
    case 0x15: {
      const Instrument& ins = ch.instrument < m.instrument_count ? m.instruments[ch.instrument] : module_defaults::empty_instrument;
      if (ins.volume_type & 1) envelope_position(ins.volume_envelope, ins.volume_points, ch.volume_envelope, xy);
      // FastTracker 2 moves the panning envelope too, but only when the volume envelope
      // has its sustain flag.
      if (m.ft2() && (ins.panning_type & 1) && (ins.volume_type & 2))
        envelope_position(ins.panning_envelope, ins.panning_points, ch.panning_envelope, xy);
      break;
    }
    case 0x19:
      if (xy) {
        ch.panning_slide_memory = static_cast<std::uint8_t>(xy);
        ch.update_flags |= update_panning;
      }
      break;
    case 0x1B:
      if (xy) {
        ch.retrig_mode = static_cast<std::uint8_t>(x);
        ch.retrig_interval = static_cast<std::uint8_t>(y);
      }
      if (m.ft2()) ft2_multi_retrig(ch, cell, true);
      break;
    case 0x1D:
      if (m.ft2()) {
        if (xy) ch.tremor_memory = static_cast<std::uint8_t>(xy);
        // The row tick keeps a muted phase muted, even where the row sets a volume.
        if ((ch.tremor_state & 0xC0) == 0x40) {
          ch.volume_delta = -ch.volume;
          ch.update_flags |= update_volume;
        }
        break;
      }
      if (xy) {
        ch.tremor_on = static_cast<std::uint8_t>(x + 1);
        ch.tremor_off = static_cast<std::uint8_t>(y + 1);
      }
      tremor_step(ch);
      break;
    case 0x21:
      if (x == 1) {
        if (y) ch.extra_fine_up_memory = static_cast<std::uint8_t>(y);
        ch.period = slid_period(m, static_cast<long long>(ch.period) - ch.extra_fine_up_memory);
      } else if (x == 2) {
        if (y) ch.extra_fine_down_memory = static_cast<std::uint8_t>(y);
        ch.period = slid_period(m, static_cast<long long>(ch.period) + ch.extra_fine_down_memory);
      }
      break;
    default: break;
  }
}

void effect_tick(ModulePlayer& m, Channel& ch, const PatternCell& cell) {
  const int xy = cell.param;
  switch (cell.effect) {
    case 0x0:
      if (xy && m.ft2()) {
        ft2_arpeggio(m, ch, xy);
      } else if (xy) {
        const int r = m.tick % 3;
        const int semis = r == 0 ? 0 : r == 1 ? xy >> 4 : xy & 0x0F;
        if (r != 0) {
          if (m.linear_frequencies()) {
            ch.period_delta = semis * 64;
          } else {
            const int ft = current_sample(ch).finetune;
            ch.period_delta = amiga_period(ch.real_note + semis, ft) - amiga_period(ch.real_note, ft);
          }
        }
        ch.update_flags |= update_frequency;
      }
      break;
    case 0x1:
      ch.period = m.ft2() ? slid_period(m, static_cast<long long>(ch.period) - ch.porta_up_memory * 4)
                          : std::max(ch.period - ch.porta_up_memory * 4, 56);
      ch.update_flags |= update_frequency;
      break;
    case 0x2:
      ch.period = slid_period(m, static_cast<long long>(ch.period) + ch.porta_down_memory * 4);
      ch.update_flags |= update_frequency;
      break;
    case 0x3: tone_porta_step(ch); break;
    case 0x4:
      vibrato(m, ch);
      vibrato_advance(ch);
      break;
    case 0x5:
      tone_porta_step(ch);
      volume_slide(ch);
      break;
    case 0x6:
      vibrato(m, ch);
      vibrato_advance(ch);
      volume_slide(ch);
      break;
    case 0x7: tremolo_step(m, ch); break;
    case 0xA: volume_slide(ch); break;
    case 0xE: extended_tick(m, ch, cell); break;
    case 0x11: {
      const int mem = m.global_slide_memory;
      if (mem >> 4) m.global_volume = std::min(m.global_volume + (mem >> 4), 64);
      else if (mem & 0x0F) m.global_volume = std::max(m.global_volume - (mem & 0x0F), 0);
      break;
    }
    case 0x19: {
      const int mem = ch.panning_slide_memory;
      if (mem >> 4) ch.panning = std::min(ch.panning + (mem >> 4), 255);
      else if (mem & 0x0F) ch.panning = std::max(ch.panning - (mem & 0x0F), 0);
      ch.update_flags |= update_panning;
      break;
    }
    case 0x1B:
      if (m.ft2()) {
        ft2_multi_retrig(ch, cell, false);
      } else if (ch.retrig_interval && m.tick % ch.retrig_interval == 0) {
        if (ch.retrig_mode) {
          ch.volume = std::clamp(retrig_volume(ch.retrig_mode, ch.volume), 0, 64);
          ch.update_flags |= update_volume;
        }
        ch.update_flags |= update_trigger;
      }
      break;
    case 0x1D:
      if (m.ft2()) ft2_tremor_step(ch);
      else tremor_step(ch);
      break;
    case 0x14:
      if (m.ft2() && m.tick == xy)
        ft2_key_off(ch, ch.instrument < m.instrument_count ? m.instruments[ch.instrument] : module_defaults::empty_instrument);
      break;
    default: break;
  }
}

}  // namespace replayer
