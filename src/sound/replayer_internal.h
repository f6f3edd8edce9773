// Shared between the replayer's files: the routines one row or tick is made of.
#pragma once

#include "sound/module.h"

namespace replayer {

inline const Sample& current_sample(const Channel& ch) { return ch.sample ? *ch.sample : module_defaults::silent_sample; }

// Instrument and sample the channel's instrument and note select.
void look_up_anew(const ModulePlayer& m, Channel& ch);
inline void look_up(const ModulePlayer& m, Channel& ch, const Instrument*& ins, const Sample*& s) {
  // The song's instruments stay as loaded: the last answer holds while instrument and note do.
  if (ch.looked_up != (1u << 16 | ch.instrument << 8 | ch.note)) look_up_anew(m, ch);
  ins = ch.looked_up_instrument;
  s = ch.looked_up_sample;
}
// FastTracker 2's key-off: without a volume envelope it cuts the volume.
void ft2_key_off(Channel& ch, const Instrument& ins);
// FastTracker 2's restart of a note's envelopes, fadeout, auto-vibrato and waveforms (a
// retrigger or a delayed note): the key is down again.
void ft2_restart_envelopes(Channel& ch);
void instrument_reset(Channel& ch, const Sample& s);
int note_period(const ModulePlayer& m, int real_note, int finetune);

// Waveform helpers and continuous effects.
int sine_256(int position);  // trunc(|sin(position * pi / 32)| * 256), position -32..31
void vibrato(const ModulePlayer& m, Channel& ch);
void vibrato_advance(Channel& ch);
void tone_porta_step(Channel& ch);
void volume_slide(Channel& ch);

// Effect and volume-column actions (effects.cc).
void effect_row(ModulePlayer& m, Channel& ch, const PatternCell& cell, const Sample& s, int saved_period,
                int saved_volume, int saved_panning);
void effect_tick(ModulePlayer& m, Channel& ch, const PatternCell& cell);
void volume_column_row(Channel& ch, std::uint8_t v);
void volume_column_tick(const ModulePlayer& m, Channel& ch, std::uint8_t v);

}  // namespace replayer
