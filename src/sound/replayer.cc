// Tick scheduling, row processing, envelopes, fadeout and auto-vibrato.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "sound/replayer_internal.h"
#include "sound/voice_update.h"

using namespace replayer;

namespace {

const PatternCell& cell_at(const ModulePlayer& m, int row, int channel) {
  const Pattern& p = m.patterns[m.order_table[m.order_position]];
  return p.cells[static_cast<std::size_t>(row) * m.channel_count + channel];
}

int row_count_of(const ModulePlayer& m, int order) { return m.patterns[m.order_table[order]].row_count; }

int slope_between(const EnvelopePoint& a, const EnvelopePoint& b) {
  const int dx = b.x - a.x;
  return dx == 0 ? 0 : ((b.y << 16) - (a.y << 16)) / dx;
}

[[gnu::always_inline]] inline void envelope_step(Channel& ch, const EnvelopePoint* points, int count, int type, int sustain, int loop_start,
                   int loop_end, EnvelopeState& e, std::uint8_t flag) {
  if (e.point < count && e.tick == points[e.point].x) {
    if ((type & 4) && e.point == loop_end) {
      e.point = loop_start;
      e.tick = points[loop_start].x;
    }
    if (e.point == count - 1) {
      e.value = points[e.point].y;
      e.ended = 1;
      ch.update_flags |= flag;
      return;
    }
    if ((type & 2) && e.point == sustain && !ch.key_off) {
      e.held = 1;
      e.value = points[e.point].y;
      ch.update_flags |= flag;
      return;
    }
    e.held = 0;
    e.slope = slope_between(points[e.point], points[e.point + 1]);
    e.accumulator = points[e.point].y << 16;
    ++e.point;
  } else if (e.point < count) {
    // Saturates only when a damaged envelope would run past any real value.
    e.accumulator = static_cast<int>(std::clamp<long long>(static_cast<long long>(e.accumulator) + e.slope,
                                                           -(1LL << 30), 1LL << 30));
  }
  e.value = e.accumulator >> 16;
  ++e.tick;
  ch.update_flags |= flag;
}

[[gnu::always_inline]] inline void envelopes(Channel& ch, const Instrument& ins) {
  if ((ins.volume_type & 1) && !ch.volume_envelope.ended)
    envelope_step(ch, ins.volume_envelope, ins.volume_points, ins.volume_type, ins.volume_sustain,
                  ins.volume_loop_start, ins.volume_loop_end, ch.volume_envelope, update_volume);
  if ((ins.panning_type & 1) && !ch.panning_envelope.ended)
    envelope_step(ch, ins.panning_envelope, ins.panning_points, ins.panning_type, ins.panning_sustain,
                  ins.panning_loop_start, ins.panning_loop_end, ch.panning_envelope, update_panning);
}

// The envelopes on a row's first tick: in the classic replay a key-off silences a note
// without a volume envelope (which no envelope step then touches).
[[gnu::always_inline]] inline void row_envelopes(bool ft2, Channel& ch, const Instrument& ins) {
  if (!ft2 && !(ins.volume_type & 1) && ch.key_off) ch.volume_envelope.value = 0;
  envelopes(ch, ins);
}

[[gnu::always_inline]] inline void fadeout(const ModulePlayer& m, Channel& ch, const Instrument& ins) {
  if (!ch.key_off) return;
  // FastTracker 2 fades only a note that has a volume envelope.
  if (m.ft2() && (!(ins.volume_type & 1) || ch.fade_held)) return;
  ch.fadeout_volume = std::max(ch.fadeout_volume - ins.fadeout, 0);
  ch.update_flags |= update_volume;
}

// trunc(sin(p * pi / 128) * 64) for p = 0..255, computed once.
int auto_vibrato_sine(int p) {
  static const auto table = [] {
    std::array<int, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<int>(std::sin(i * M_PI / 128) * 64);
    return t;
  }();
  return table[p & 0xFF];
}

[[gnu::always_inline]] inline void auto_vibrato(const ModulePlayer& m, Channel& ch, const Instrument& ins) {
  // Most instruments have none: depth 0 bends nothing (the counters still move).
  if (ins.vibrato_depth != 0) {
    const int p = ch.auto_vibrato_position;
    int w = 0;
    switch (ins.vibrato_type) {
      case 0: w = auto_vibrato_sine(p); break;
      case 1: w = p < 128 ? 64 : -64; break;
      case 2: w = (128 - ((p + 128) % 256)) >> 1; break;
      case 3: w = (128 - ((384 - p) % 256)) >> 1; break;
      default: w = 0; break;  // no shape defined: no auto-vibrato
    }
    int a = ins.vibrato_depth * w;
    // A finished sweep (count = sweep) leaves the depth whole: no division.
    if (ins.vibrato_sweep && ch.auto_vibrato_sweep_count != ins.vibrato_sweep)
      a = static_cast<int>(static_cast<long long>(ch.auto_vibrato_sweep_count) * a / ins.vibrato_sweep);
    ch.period_delta += a >> 6;
  }
  // FastTracker 2's sweep stops growing once the key is off.
  if (!(m.ft2() && ch.key_off))
    ch.auto_vibrato_sweep_count = std::min<int>(ch.auto_vibrato_sweep_count + 1, ins.vibrato_sweep);
  ch.auto_vibrato_position += ins.vibrato_rate;
  if (ch.auto_vibrato_position > 255) ch.auto_vibrato_position -= 256;
  ch.update_flags |= update_frequency;
}

bool is_note_delay(const PatternCell& cell) { return cell.effect == 0xE && (cell.param >> 4) == 0xD && (cell.param & 0x0F); }

bool is_e90(const PatternCell& cell) { return cell.effect == 0xE && cell.param == 0x90; }

// One channel's cell as the row tick reads it (in ft2 mode also a delayed cell on its tick).
void channel_row(ModulePlayer& m, Channel& ch, const PatternCell& row_cell) {
  const bool ft2 = m.ft2();
  PatternCell cell = row_cell;
  // FastTracker 2 reads K00 as a key-off in place of the cell's note; beside a volume-column
  // portamento it is dropped.
  if (ft2 && cell.effect == 0x14 && cell.param == 0) {
    if ((cell.volume >> 4) != 0xF) cell.note = 255;
    cell.effect = 0;
  }
  const bool porta = cell.effect == 3 || cell.effect == 5 || (ft2 && (cell.volume >> 4) == 0xF);
  const bool has_note = cell.note != 0 && cell.note != 255;
  // FastTracker 2 keeps an instrument number without a note for the next note: the
  // sample and envelopes playing stay, only their volumes and envelopes restart.
  const bool instrument_alone = ft2 && cell.instrument && !has_note;
  if (cell.instrument && !porta && !instrument_alone) ch.instrument = static_cast<std::uint8_t>(cell.instrument - 1);
  if (instrument_alone) ch.pending_instrument = cell.instrument;
  if (ft2 && has_note && !porta) {
    if (!cell.instrument && ch.pending_instrument) ch.instrument = static_cast<std::uint8_t>(ch.pending_instrument - 1);
    ch.pending_instrument = 0;
  }
  if (has_note && !porta) ch.note = static_cast<std::uint8_t>(cell.note - 1);
  const Instrument* ins;
  const Sample* s;
  look_up(m, ch, ins, s);
  if (!porta) ch.sample = s;
  const int saved_period = ch.period, saved_volume = ch.volume, saved_panning = ch.panning;
  // The classic replay keeps where a tremolo left the volume; FastTracker 2 does not.
  if (!ft2 && ch.last_effect == 7 && cell.effect != 7) ch.volume += ch.volume_delta;
  ch.last_effect = cell.effect;
  ch.volume_delta = 0;
  ch.update_flags = 0;
  ch.sample_offset_end = 0;
  if (has_note) {
    ch.real_note = static_cast<std::uint8_t>((cell.note + s->relative_note - 1) & 0xFF);
    if (ft2) {
      // E5x on the note's row sets the finetune the note is played with.
      const bool e5 = cell.effect == 0xE && (cell.param >> 4) == 0x5;
      if (e5) ch.finetune = static_cast<std::int16_t>((cell.param & 0x0F) * 16 - 128);
      else if (!porta) ch.finetune = s->finetune;
      ch.note_period = note_period(m, ch.real_note, ch.finetune);
    } else {
      ch.note_period = note_period(m, ch.real_note, s->finetune);
    }
    if (!porta) ch.period = ch.note_period;
    ch.update_flags = update_trigger;
  }
  ch.update_flags |= update_frequency | update_volume;
  ch.period_delta = 0;
  if (cell.instrument) {
    const std::int8_t vibrato_position = ch.vibrato_position, tremolo_position = ch.tremolo_position;
    const std::uint8_t key_off = ch.key_off;
    instrument_reset(ch, *s);
    if (ft2) {
      // FastTracker 2 restarts the waveforms with a note, not with an instrument number.
      ch.vibrato_position = vibrato_position;
      ch.tremolo_position = tremolo_position;
      ch.tremor_state = 0;
      ch.fade_held = 0;
      // Alone after a key-off, the number restarts the envelopes and the volume but leaves
      // the key released (the envelopes run on past their sustain), without a fadeout.
      if (instrument_alone && key_off) {
        ch.key_off = 1;
        ch.fade_held = 1;
      }
    }
  }
  if (ft2 && has_note && !porta) {
    if (!(ch.waveforms & 0x04)) ch.vibrato_position = 0;
    if (!(ch.waveforms & 0x40)) ch.tremolo_position = 0;
  }
  if (ft2 && is_e90(cell) && cell.note != 255) {
    // E90 retriggers on its row tick, a note there or not, restarting the envelopes.
    ft2_restart_envelopes(ch);
    ch.update_flags |= update_trigger;
    if (!has_note) ch.period = ch.note_period;
  }
  if (ft2) {
    // The key-off comes before the volume column: a volume there keeps the note audible.
    if (cell.note == 255) ft2_key_off(ch, *ins);
    if (cell.volume) volume_column_row(ch, cell.volume);
  } else {
    if (cell.volume) volume_column_row(ch, cell.volume);
    if (cell.note == 255 || cell.effect == 20) ch.key_off = 1;
  }
  row_envelopes(ft2, ch, *ins);
  fadeout(m, ch, *ins);
  effect_row(m, ch, cell, *s, saved_period, saved_volume, saved_panning);
  auto_vibrato(m, ch, *ins);
  voice_update::update(m, ch, *s);
}

bool is_empty(const PatternCell& cell) { return (cell.note | cell.instrument | cell.volume | cell.effect | cell.param) == 0; }

// channel_row for an empty cell: what is left of it without note, instrument, volume or effect.
[[gnu::always_inline]] inline void empty_row(ModulePlayer& m, Channel& ch) {
  const bool ft2 = m.ft2();
  const Instrument* ins;
  const Sample* s;
  look_up(m, ch, ins, s);
  ch.sample = s;
  if (!ft2 && ch.last_effect == 7) ch.volume += ch.volume_delta;
  ch.last_effect = 0;
  ch.volume_delta = 0;
  ch.sample_offset_end = 0;
  ch.update_flags = update_frequency | update_volume;
  ch.period_delta = 0;
  row_envelopes(ft2, ch, *ins);
  fadeout(m, ch, *ins);
  auto_vibrato(m, ch, *ins);
  voice_update::update(m, ch, *s);
}

// Gxx and Hxy reach every channel on the tick they change the global volume.
void refresh_volumes(ModulePlayer& m) {
  for (int c = 0; c < m.channel_count; ++c) {
    Channel& ch = m.channels[c];
    ch.update_flags = update_volume;
    update_voice(m, ch, current_sample(ch));
  }
}

void process_row(ModulePlayer& m) {
  m.next_row = -1;
  m.next_order = -1;
  m.position_jump_seen = false;
  m.pattern_loop_taken = false;
  const int global_volume = m.global_volume;
  for (int c = 0; c < m.channel_count; ++c) {
    Channel& ch = m.channels[c];
    const PatternCell& cell = cell_at(m, m.row, c);
    if (is_empty(cell)) {
      empty_row(m, ch);
      continue;
    }
    if (m.ft2() && is_note_delay(cell)) {
      // The whole cell waits for its tick; the channel goes on as it was.
      const Instrument* ins;
      const Sample* s;
      look_up(m, ch, ins, s);
      ch.last_effect = cell.effect;
      ch.volume_delta = 0;
      ch.period_delta = 0;
      ch.update_flags = update_frequency | update_volume;
      envelopes(ch, *ins);
      fadeout(m, ch, *ins);
      auto_vibrato(m, ch, *ins);
      update_voice(m, ch, *s);
      continue;
    }
    channel_row(m, ch, cell);
  }
  if (m.ft2() && m.global_volume != global_volume) refresh_volumes(m);
}

void process_tick(ModulePlayer& m) {
  const int global_volume = m.global_volume;
  // FastTracker 2 counts each repetition of a delayed row (EEx) from its start again, so
  // note delays, cuts, retriggers and arpeggios happen in every repetition.
  const int tick = m.tick;
  if (m.ft2() && m.speed > 0) m.tick %= m.speed;
  const bool ft2 = m.ft2();
  const PatternCell* cells = &cell_at(m, m.row, 0);
  for (int c = 0; c < m.channel_count; ++c) {
    Channel& ch = m.channels[c];
    const PatternCell& cell = cells[c];
    if (ft2 && is_note_delay(cell) && m.tick == (cell.param & 0x0F)) {
      PatternCell delayed = cell;
      delayed.effect = 0;
      delayed.param = 0;
      channel_row(m, ch, delayed);
      continue;
    }
    const Instrument* ins;
    const Sample* s;
    look_up(m, ch, ins, s);
    ch.volume_delta = 0;
    ch.period_delta = 0;
    ch.update_flags = 0;
    // Only volume-column bytes from 0x60 on and effects other than a bare 000 act on these
    // ticks.
    const bool acts = cell.effect | cell.param;
    if (ft2) {
      // FastTracker 2 runs the envelopes and the fadeout after the tick's effects, so a
      // key-off (Kxx) or a retrigger (E9x) already counts on its own tick.
      if (cell.volume >= 0x60) volume_column_tick(m, ch, cell.volume);
      if (acts) effect_tick(m, ch, cell);
      envelopes(ch, *ins);
      fadeout(m, ch, *ins);
    } else {
      envelopes(ch, *ins);
      fadeout(m, ch, *ins);
      if (cell.volume >= 0x60) volume_column_tick(m, ch, cell.volume);
      if (acts) effect_tick(m, ch, cell);
    }
    auto_vibrato(m, ch, *ins);
    voice_update::update(m, ch, *s);
  }
  m.tick = tick;
  if (m.ft2() && m.global_volume != global_volume) refresh_volumes(m);
}

double pow2_table_entry(int k) { return std::pow(2.0, (132 - k) * static_cast<double>(1.0f / 12.0f)) * 13.375; }

int amiga_base(int k) {
  static const auto table = [] {
    std::vector<int> t(400);
    for (int i = 0; i < 400; ++i) t[i] = static_cast<int>(pow2_table_entry(i));
    return t;
  }();
  if (k >= 0 && k < 400) return table[k];
  const double v = pow2_table_entry(k);
  return v > 1e9 ? 1000000000 : static_cast<int>(v);
}

}  // namespace

namespace replayer {

void ft2_key_off(Channel& ch, const Instrument& ins) {
  ch.fade_held = 0;
  // A panning envelope that already waits at its sustain point stays there for good: the
  // key-off moves FastTracker 2's volume envelope on from its sustain, never the panning one.
  const EnvelopeState& pan = ch.panning_envelope;
  if (!ch.key_off && (ins.panning_type & 3) == 3 && !pan.ended && pan.held && pan.point == ins.panning_sustain &&
      pan.point < ins.panning_points) {
    ch.panning_envelope.value = ins.panning_envelope[pan.point].y;
    ch.panning_envelope.ended = 1;
  }
  ch.key_off = 1;
  if (!(ins.volume_type & 1)) {
    ch.volume = 0;
    ch.update_flags |= update_volume;
  }
}

void ft2_restart_envelopes(Channel& ch) {
  ch.volume_envelope = EnvelopeState{};
  ch.volume_envelope.value = 64;
  ch.panning_envelope = EnvelopeState{};
  ch.panning_envelope.value = 32;
  ch.key_off = 0;
  ch.fade_held = 0;
  ch.fadeout_volume = 65536;
  ch.auto_vibrato_sweep_count = 0;
  ch.auto_vibrato_position = 0;
  if (!(ch.waveforms & 0x04)) ch.vibrato_position = 0;
  if (!(ch.waveforms & 0x40)) ch.tremolo_position = 0;
  ch.tremor_state = 0;
  ch.retrig_count = 0;
  ch.update_flags |= update_volume | update_panning;
}

void look_up_anew(const ModulePlayer& m, Channel& ch) {
  ch.looked_up = 1u << 16 | ch.instrument << 8 | ch.note;
  if (ch.instrument >= m.instrument_count) {
    ch.looked_up_instrument = &module_defaults::empty_instrument;
    ch.looked_up_sample = &module_defaults::silent_sample;
    return;
  }
  const Instrument* ins = &m.instruments[ch.instrument];
  const int slot = ch.note < 96 ? ins->keymap[ch.note] : 16;
  ch.looked_up_instrument = ins;
  ch.looked_up_sample = slot < 16 && ins->samples[slot] ? ins->samples[slot] : &module_defaults::silent_sample;
}

void instrument_reset(Channel& ch, const Sample& s) {
  ch.volume = s.volume;
  ch.panning = s.panning;
  ch.volume_envelope.value = 64;
  ch.volume_envelope.point = 0;
  ch.volume_envelope.tick = 0;
  ch.volume_envelope.slope = 0;
  ch.panning_envelope.value = 32;
  ch.panning_envelope.point = 0;
  ch.panning_envelope.tick = 0;
  ch.panning_envelope.slope = 0;
  ch.volume_envelope.held = 0;
  ch.panning_envelope.held = 0;
  ch.key_off = 0;
  ch.fadeout_volume = 65536;
  ch.volume_envelope.ended = 0;
  ch.panning_envelope.ended = 0;
  ch.auto_vibrato_sweep_count = 0;
  ch.auto_vibrato_position = 0;
  if ((ch.waveforms & 0x0F) < 4) ch.vibrato_position = 0;
  if ((ch.waveforms >> 4) < 4) ch.tremolo_position = 0;
  ch.tremor_count = 0;
  ch.update_flags |= update_volume | update_panning;
}

int note_period(const ModulePlayer& m, int real_note, int finetune) {
  if (m.linear_frequencies()) return 7680 - real_note * 64 - finetune / 2;
  return amiga_period(real_note, finetune);
}

}  // namespace replayer

int amiga_period(int n, int finetune) {
  const int p0 = amiga_base(n);
  if (finetune < 0 && n != 0) return p0 + (amiga_base(n - 1) - p0) * -finetune / 128;
  return p0 - (p0 - amiga_base(n + 1)) * finetune / 128;
}

int ft2_frequency(bool linear, long long period) {
  const std::uint32_t p = static_cast<std::uint32_t>(period) & 0xFFFF;
  if (p == 0) return 0;
  if (!linear) return static_cast<int>(14317056u / p);
  // Twelve octaves of 768 steps hold every note; inside them this is 8363 x 2^((4608 - p) / 768).
  if (p <= 9983) return static_cast<int>(8363.0 * std::exp2((4608.0 - p) / 768.0));
  // Beyond them FastTracker 2 counts the octave as (14 - (9983 - p) / 768) in unsigned 32-bit
  // arithmetic and shifts by it modulo 32: the pitch jumps around as the period grows.
  const std::uint32_t octave = (14u - (9983u - p) / 768u) & 31u;
  return static_cast<int>(8363.0 * std::exp2(8.0 - octave - static_cast<double>(p % 768) / 768.0));
}

void player_set_bpm(ModulePlayer& m, int bpm) {
  m.bpm = bpm;
  const float frames = 1000.0f / (static_cast<float>(bpm) * 0.4f) * static_cast<float>(mix_rate) * 0.001f;
  // BPM 0 (never set by the song: the loader and effect F keep it at 1 or more) and huge
  // values still owe at least one frame per tick, so the mixer always moves on.
  m.samples_per_tick = std::max(1, static_cast<int>(std::min(frames, 1e9f)));
}

void player_start(ModulePlayer& m) {
  // What the last run of the song changed in its samples goes too: every run from the start
  // plays alike, and a seek reaches what a render from the start reaches.
  for (const auto& s : m.sample_store) s->finetune = s->loaded_finetune;
  for (int c = 0; c < max_channels; ++c) {
    m.channels[c] = Channel{};
    m.channels[c].voice = &m.voices[c];
  }
  for (int i = 0; i < voice_count; ++i) {
    m.voices[i] = Voice{};
    m.voices[i].index = i;
    m.voices[i].direction = 1;
  }
  m.ramp_frames = mix_rate * 128 / 44100;
  m.ramp_reciprocal = 1.0f / static_cast<float>(m.ramp_frames);
  m.speed = m.default_speed;
  m.global_volume = 64;
  m.global_slide_memory = 0;
  m.next_row = -1;
  m.next_order = -1;
  m.samples_left_in_tick = 0;
  m.dry_frames = 0;
  m.busy_voices = 0;
  m.tick = 0;
  m.pattern_delay_ticks = 0;
  m.pattern_loop_taken = false;
  m.break_row = 0;
  player_set_bpm(m, m.default_bpm);
}

void player_set_replay_mode(ModulePlayer& m, ReplayMode mode) { m.replay_mode = mode; }

const char* replay_mode_name(ReplayMode mode) { return mode == ReplayMode::ft2 ? "ft2" : "classic"; }

void player_tick(ModulePlayer& m) {
  if (m.tick == 0) {
    if (m.next_order >= 0) m.order_position = m.next_order;
    if (m.next_row >= 0) m.row = m.next_row;
    // A break or loop target beyond the pattern starts the pattern from its first row.
    if (m.row >= row_count_of(m, m.order_position)) m.row = 0;
    process_row(m);
    if (m.next_row == -1) {
      m.next_row = m.row + 1;
      if (m.next_row >= row_count_of(m, m.order_position)) {
        m.next_order = m.order_position + 1;
        if (m.next_order >= m.song_length) m.next_order = m.restart_position;
        m.next_row = 0;
        if (m.ft2()) {
          // A finished pattern loop leaves its start row for the next pattern.
          m.next_row = m.break_row;
          m.break_row = 0;
        }
      }
    }
  } else {
    process_tick(m);
  }
  ++m.tick;
  if (m.tick >= m.speed + m.pattern_delay_ticks) {
    m.pattern_delay_ticks = 0;
    m.tick = 0;
  }
}
