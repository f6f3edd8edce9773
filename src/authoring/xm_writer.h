// Builds an XM module file in memory from a plain description. Used for test fixtures and
// for the demo's own song; it writes the fields the loader reads plus the usual name fields.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct XmCell {
  std::uint8_t note = 0;        // 0 none, 1..96 notes, 97 key off (as stored in the file)
  std::uint8_t instrument = 0;  // 0 none, 1..128
  std::uint8_t volume = 0;      // volume-column byte
  std::uint8_t effect = 0;
  std::uint8_t param = 0;
};

struct XmPattern {
  int rows = 64;
  std::vector<XmCell> cells;  // rows x channels, row-major; missing cells are empty
  bool write_empty = false;   // store with packed size 0 (no data at all)

  // Returns the cell of (row, channel), growing the cell array as needed.
  XmCell& at(int row, int channel, int channels);
};

struct XmEnvelope {
  std::vector<std::array<std::uint16_t, 2>> points;  // (tick, value) pairs
  std::uint8_t sustain = 0, loop_start = 0, loop_end = 0;
  std::uint8_t type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
  std::optional<std::uint8_t> count_override;  // stored point count, for odd files
};

struct XmSample {
  std::vector<std::int16_t> data;  // plain (not delta) values; 8-bit samples store value >> 8
  bool sixteen_bit = true;
  std::uint8_t loop = 0;  // type bits 0-1: 0 none, 1 forward, 2 ping-pong (3 = both bits)
  std::uint32_t loop_start = 0, loop_length = 0;  // in samples
  std::uint8_t volume = 64;
  std::int8_t finetune = 0;
  std::uint8_t panning = 128;
  std::int8_t relative_note = 0;
  std::string name;
  std::optional<std::uint32_t> length_override;  // stored length in samples (data not padded)
};

struct XmInstrument {
  std::string name;
  std::vector<XmSample> samples;
  std::array<std::uint8_t, 96> keymap{};  // sample index for each note
  XmEnvelope volume_envelope, panning_envelope;
  std::uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  std::uint16_t fadeout = 0;  // as stored (the loader doubles it)
  std::optional<std::uint16_t> sample_count_override;
};

struct XmModule {
  std::string name = "kestol";
  int channels = 4;
  std::vector<std::uint8_t> orders{0};
  std::uint16_t restart_position = 0;
  bool linear_frequencies = true;
  std::uint16_t speed = 6, bpm = 125;
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
  // Raw header overrides for malformed fixtures.
  std::optional<std::uint16_t> song_length_override, pattern_count_override;
};

// The whole file.
std::vector<std::uint8_t> xm_write(const XmModule& module);
