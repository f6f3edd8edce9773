// The loaded song (XM) with the replayer's state, its channels and voices, and the
// routines that load, play and mix it. One `ModulePlayer` is one song; the sound output
// keeps at most one current player (music_player()).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/mixer_kernels.h"

constexpr int mix_rate = 44100;
constexpr int max_channels = 32;
constexpr int voice_count = 64;  // one bit each in ModulePlayer::busy_voices
// Frames per output chunk (20 ms rounded as the output does it).
constexpr int chunk_frames = (mix_rate * 20 / 1000 + 3) / 4 * 4;

struct PatternCell {
  std::uint8_t note;        // 0 none, 1..96, 255 key off
  std::uint8_t instrument;  // 0 none, 1..128
  std::uint8_t volume;      // volume-column byte
  std::uint8_t effect;
  std::uint8_t param;
};

struct Pattern {
  int row_count = 0;
  std::vector<PatternCell> cells;  // row_count x channel_count, row-major
};

struct EnvelopePoint {
  std::uint16_t x;
  std::uint16_t y;
};

struct Sample {
  std::int16_t* data = nullptr;  // length + 8 values; null when length is 0
  int length = 0;
  int loop_start = 0;
  int loop_length = 0;
  std::uint8_t volume = 0;
  std::int8_t finetune = 0;  // the classic replay's E5x changes it while the song plays
  std::int8_t loaded_finetune = 0;  // as the file has it: the song starts with it again
  int panning = 0;
  std::uint8_t bits = 0;
  std::uint8_t loop_type = 0;  // 1 none, 2 forward, 4 ping-pong (0 only for silent_sample)
  std::int8_t relative_note = 0;
  std::vector<std::int16_t> storage;  // owns data
  // A short forward loop written out whole several times over (unrolled_length values,
  // then the loop's first value as the guard), so that mixing crosses its end less often;
  // null when there is none (see sample_unroll_loop).
  const std::int16_t* unrolled = nullptr;
  int unrolled_length = 0;
  std::vector<std::int16_t> unrolled_storage;  // owns unrolled
};

struct Instrument {
  int sample_count = 0;
  Sample* samples[16] = {};
  std::uint8_t keymap[96] = {};
  EnvelopePoint volume_envelope[12] = {};
  EnvelopePoint panning_envelope[12] = {};
  std::uint8_t volume_points = 0, panning_points = 0;
  std::uint8_t volume_sustain = 0, volume_loop_start = 0, volume_loop_end = 0;
  std::uint8_t panning_sustain = 0, panning_loop_start = 0, panning_loop_end = 0;
  std::uint8_t volume_type = 0, panning_type = 0;
  std::uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  std::uint16_t fadeout = 0;
};

// Shared, all-zero, never freed; the replayer never writes them.
// What a song's empty slots point to, shared by every loaded song.
namespace module_defaults {
extern Sample silent_sample;
extern const Instrument empty_instrument;
}  // namespace module_defaults

struct EnvelopeState {
  int tick = 0;
  int point = 0;
  int accumulator = 0;  // 16.16
  int value = 0;
  int slope = 0;  // 16.16
  std::uint8_t ended = 0;
  std::uint8_t held = 0;  // waits at its sustain point (ft2 mode reads it at a key-off)
};

struct Voice {
  int index = 0;
  int volume = 0;
  int panning = 0;
  std::uint32_t start_offset = 0;
  const Sample* sample = nullptr;  // null: silent, not mixed
  int left = 0, right = 0;         // target gains 0..127 (applied as value / 255)
  std::uint64_t position = 0;      // 32.32
  std::uint64_t step = 0;          // 32.32
  long long step_period = -(1LL << 62);  // the period (with its delta) step was made for
  std::uint16_t step_flags = 0;          // and the song's flags then
  int direction = 1;               // 1 forward, 2 backward
  int last_left = 0, last_right = 0;
  int current_left = 0, current_right = 0;  // gain x 256
  float ramp_step_left = 0, ramp_step_right = 0;
  int ramp_frames_remaining = 0;
  // Frames run without mixing (ModulePlayer::dry_frames) up to which this voice has moved;
  // a steady voice catches up only when something looks at it.
  std::uint64_t settled_at = 0;
  // A voice left behind that changed its step on the way (settle_voice_behind): the
  // distance to add for the frames it ran at other steps, up to corrected_at, as if it had
  // run at the present step since settled_at (wrapping arithmetic).
  std::uint64_t step_correction = 0;
  std::uint64_t corrected_at = 0;
  // With its bit in ModulePlayer::waiting_gains: the frame (dry_frames) at which volume and
  // panning last changed, their gains not yet worked out (see wait_for_gains). The gains
  // before that are those of earlier_volume and earlier_panning where earlier_gains is set
  // (a ramp to them ended unseen), else the voice's own.
  std::uint64_t gains_since = 0;
  int earlier_volume = 0, earlier_panning = 0;
  bool earlier_gains = false;
};

enum : std::uint8_t {
  update_frequency = 0x01,
  update_volume = 0x02,
  update_panning = 0x04,
  update_trigger = 0x08,
  update_restart = 0x20,
};

struct Channel {
  std::uint8_t note;
  std::uint8_t update_flags;
  Voice* voice;
  const Sample* sample;
  int period;
  int volume;
  int panning;
  int volume_delta;
  int period_delta;
  EnvelopeState volume_envelope;
  EnvelopeState panning_envelope;
  int fadeout_volume;
  int auto_vibrato_position;
  int auto_vibrato_sweep_count;
  std::uint8_t key_off;
  std::uint8_t instrument;
  std::uint8_t real_note;
  int note_period;
  std::uint8_t last_effect;
  int offset_memory;
  std::uint8_t porta_up_memory, porta_down_memory;
  std::uint8_t extra_fine_up_memory, extra_fine_down_memory;
  std::uint8_t volume_slide_memory;
  std::uint8_t panning_slide_memory;
  std::uint8_t retrig_mode, retrig_interval;
  int porta_target;
  std::uint8_t porta_speed;
  std::int8_t vibrato_position;
  std::uint8_t vibrato_speed, vibrato_depth;
  std::int8_t tremolo_position;
  std::uint8_t tremolo_speed, tremolo_depth;
  std::uint8_t tremor_count, tremor_on, tremor_off;
  int loop_row, loop_count;
  std::uint8_t waveforms;
  std::uint8_t fine_volume_memory, fine_porta_up_memory, fine_porta_down_memory;
  // FastTracker 2 mode only.
  std::int16_t finetune;            // of the note playing (E5x may set it for its row)
  std::uint8_t tremor_memory;       // last non-zero Txy
  std::uint8_t tremor_state;        // bit 7 on, bit 6 running, bits 0-3 ticks left in the phase
  std::uint8_t sample_offset_end;   // the row's 9xx lies past the sample's end
  std::uint8_t pending_instrument;  // 1-based number given without a note, for the next note
  std::uint8_t retrig_count;        // Rxy: ticks counted towards the next retrigger
  std::uint8_t fade_held;           // an instrument number after the key-off stopped the fadeout
  // The instrument and sample look_up last found, for (instrument << 8 | note) | 1 << 16
  // in looked_up (0: none yet).
  std::uint32_t looked_up;
  const Instrument* looked_up_instrument;
  const Sample* looked_up_sample;
};

// How the replayer reads the song: `classic` is the engine's own replay (the default);
// `ft2` plays as FastTracker 2 did, its quirks included.
enum class ReplayMode : std::uint8_t { classic, ft2 };

struct ModulePlayer;
using TickFunction = void (*)(ModulePlayer& player);

struct ModulePlayer {
  // Song (set by the loader).
  std::vector<Pattern> patterns;  // pattern_slots entries
  std::vector<Instrument> instruments;
  std::vector<std::unique_ptr<Sample>> sample_store;  // owns every non-silent sample
  std::int16_t song_length = 0;
  std::int16_t restart_position = 0;
  std::int16_t channel_count = 0;
  int pattern_slots = 0;
  int stored_patterns = 0;  // patterns the file holds (the rest are empty slots)
  std::int16_t instrument_count = 0;
  std::uint16_t flags = 0;  // bit 0: linear_frequencies
  std::int16_t default_speed = 0;
  std::int16_t default_bpm = 0;
  std::uint8_t order_table[256] = {};
  std::uint8_t default_global_volume = 64;
  TickFunction tick_function = nullptr;
  ReplayMode replay_mode = ReplayMode::classic;

  // Replayer.
  // Frames run without mixing since the start; see Voice::settled_at.
  std::uint64_t dry_frames = 0;
  // The voices (bit = index) that may be on a ramp or about to start one: those a skip
  // must run frame-exactly; the others only move along their samples.
  std::uint64_t busy_voices = 0;
  // Between begin_skipping and settle_voices.
  bool skipping = false;
  // The voices (bit = index) whose gains wait for their volume and panning (wait_for_gains).
  std::uint64_t waiting_gains = 0;
  int samples_left_in_tick = 0;
  int samples_per_tick = 0;
  int global_volume = 64;
  std::uint8_t global_slide_memory = 0;
  int tick = 0;
  int speed = 0;
  int bpm = 0;
  int row = 0;
  int order_position = 0;
  int pattern_delay_ticks = 0;
  int next_row = -1;
  int next_order = -1;
  bool position_jump_seen = false;  // the row's position-jump mark
  bool pattern_loop_taken = false;  // E6x sent the song back during the last row tick
  int break_row = 0;                // ft2: the row the next pattern starts at (loops set it)

  Channel channels[max_channels] = {};

  // Voices and mixer.
  Voice voices[voice_count];
  int ramp_frames = 128;
  // The kernel versions this player mixes with: the best, unless a test picks one.
  const MixerKernels* kernels = &mixer_kernels();
  float ramp_reciprocal = 1.0f / 128;

  bool linear_frequencies() const { return flags & 1; }
  bool ft2() const { return replay_mode == ReplayMode::ft2; }
  std::uint16_t position() const {
    return static_cast<std::uint16_t>(((order_position & 0xFF) << 8) | (row & 0xFF));
  }
};

// ---- Loader -------------------------------------------------------------------------
// Builds a player from a whole XM file; null when the bytes are not a module it can play,
// with the reason in *error when error is given.
std::unique_ptr<ModulePlayer> module_load(const void* data, std::uint32_t size, const char** error = nullptr);

// The current player slot of the sound output (set by music_load, freed by music_stop).
ModulePlayer* music_player();
// Frees the current player and empties the slot.
void music_player_free();

// ---- Replayer -----------------------------------------------------------------------
// Puts the replayer into its start state (channels, voices, speed, BPM, the samples' finetunes
// as loaded); row and order position stay where they are.
void player_start(ModulePlayer& player);
// One tick (the loader stores this as tick_function).
void player_tick(ModulePlayer& player);
void player_set_bpm(ModulePlayer& player, int bpm);
// Chooses how the song is replayed; call before player_start.
void player_set_replay_mode(ModulePlayer& player, ReplayMode mode);
// "classic" or "ft2".
const char* replay_mode_name(ReplayMode mode);
int amiga_period(int note, int finetune);
// FastTracker 2's frequency in Hz for a period (with its vibrato or arpeggio delta): the
// period is a 16-bit value, and past twelve octaves the linear table's octave count wraps.
int ft2_frequency(bool linear, long long period);

// ---- Voices and mixer ---------------------------------------------------------------
void update_voice(ModulePlayer& player, Channel& channel, const Sample& sample);
// Gives a sample with a short forward loop (and its guard value set) its unrolled copy;
// the mixed sound is the same with or without it.
void sample_unroll_loop(Sample& sample);
// Adds every voice into span (interleaved left, right floats) for frames frames.
void mix_voices(ModulePlayer& player, float* span, int frames);
// Moves every voice as mix_voices would for frames frames (positions, loop directions,
// ramp gains), writing nothing: what a seek runs instead of mixing. calm: the frames from
// here (at least frames) in which nothing looks at the voices' gains (no tick, no end of
// the run): a ramp that ends within them may take its targets at once.
void skip_voices(ModulePlayer& player, int frames, std::uint64_t calm = 0);
// A run of skip_frames: begin_skipping before it (it notes which voices are on a ramp);
// settle_voices after it, before the voices are mixed or looked at again.
void begin_skipping(ModulePlayer& player);
// Brings a voice that skip_voices left behind up to date (a no-op for one that is).
void settle_voice_behind(ModulePlayer& player, Voice& voice);
inline void settle_voice(ModulePlayer& player, Voice& voice) {
  if (voice.settled_at != player.dry_frames) settle_voice_behind(player, voice);
}
// Whether a voice moves along its sample by one sum: forward inside a forward loop, or
// short of the end of a sample without a loop (where it stops).
inline bool moves_straight(const Voice& v) {
  const Sample& s = *v.sample;
  if (v.step == 0 || v.direction == 2 || !s.data || s.loop_length <= 0 || (s.loop_type != 1 && s.loop_type != 2))
    return false;
  return v.position < (static_cast<std::uint64_t>(s.loop_start) + static_cast<std::uint64_t>(s.loop_length)) << 32;
}
// A sample that plays on and on: a loop (forward or ping-pong) with something in it.
inline bool plays_on(const Sample& s) { return (s.loop_type == 2 || s.loop_type == 4) && s.loop_length > 0 && s.data; }
// Works out the gains of a voice whose volume and panning waited (wait_for_gains in the
// replayer), as mixing has them by now.
void settle_gains(ModulePlayer& player, Voice& voice);
void settle_voices(ModulePlayer& player);
// Off a ramp, with its gains on their targets, a voice only moves along its sample, and
// where the frames are cut makes no difference to where it ends up: while a seek skips
// frames it can wait, and catch up when something next looks at it. (A voice without a
// step reaches its boundaries by frames counted per call: it goes the eager way.)
inline bool voice_steady(const Voice& v) {
  // Without branches: the gains change from tick to tick in ways no predictor follows.
  return ((v.ramp_frames_remaining == 0) & (v.left == v.last_left) & (v.right == v.last_right) &
          (v.current_left == v.left * 256) & (v.current_right == v.right * 256) & (v.step != 0)) != 0;
}
// A ramp run to its end at once: the gains are the targets, as mixing leaves them.
inline void end_ramp(Voice& v) {
  v.last_left = v.left;
  v.last_right = v.right;
  v.ramp_frames_remaining = 0;
  v.ramp_step_left = 0;
  v.ramp_step_right = 0;
  v.current_left = v.left * 256;
  v.current_right = v.right * 256;
}
// Tells the mixer that a voice's gains, sample or step may have changed.
inline void note_voice_changed(ModulePlayer& player, const Voice& voice) {
  if (voice.sample) player.busy_voices |= static_cast<std::uint64_t>(!voice_steady(voice)) << (voice.index & 63);
}
// Nearest integer (ties to even), clamped to 16 bits; 2 x frames values.
void pcm_convert(std::int16_t* destination, const float* source, int frames);

// Asked before each new tick with the frames mixed so far; false stops the mix there.
using TickGate = bool (*)(void* context, int mixed);

// Mixes up to frames frames into span (zeroed here) and pcm, calling the tick function
// whenever the frames owed to the current tick are used up: the output's chunk accounting.
// Returns the frames mixed (all of them unless the gate stopped the mix).
int mix_frames(ModulePlayer& player, float* span, std::int16_t* pcm, int frames,
               TickGate gate = nullptr, void* context = nullptr);
// mix_frames without the mixing: the same ticks and voice movements, no samples (between
// begin_skipping and settle_voices). more: the frames the run certainly goes on for after
// these, unless the gate stops it before a tick.
int skip_frames(ModulePlayer& player, int frames, TickGate gate = nullptr, void* context = nullptr,
                std::uint64_t more = 0);
