// XM loader: patterns to 5-byte cells, samples to delta-decoded 16-bit data with
// normalised loops and a guard value for the mixer's interpolation.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sound/module.h"
#include "sound/module_reader.h"

namespace module_defaults {
Sample silent_sample;
const Instrument empty_instrument;
}  // namespace module_defaults

namespace {

constexpr char signature[] = "Extended Module: ";
// The file format's own limits; beyond them memory would grow without purpose.
constexpr int max_rows = 256;
constexpr int max_patterns = 256;
constexpr int max_instruments = 128;

// Decodes one pattern's cells; rows beyond max_rows are read and dropped so that the
// following data stays in step.
void read_pattern(ModuleReader& in, Pattern& pattern, int declared_rows, int channels, bool packed) {
  pattern.row_count = declared_rows == 0 ? 64 : std::min(declared_rows, max_rows);
  pattern.cells.assign(static_cast<std::size_t>(pattern.row_count) * channels, PatternCell{});
  if (!packed || declared_rows == 0) return;
  const std::size_t total = static_cast<std::size_t>(declared_rows) * channels;
  for (std::size_t i = 0; i < total; ++i) {
    std::uint8_t f[5] = {0, 0, 0, 0, 0};
    const std::uint8_t b = in.u8();
    if (b & 0x80) {
      for (int k = 0; k < 5; ++k)
        if (b & (1 << k)) f[k] = in.u8();
    } else {
      f[0] = b;
      for (int k = 1; k < 5; ++k) f[k] = in.u8();
    }
    if (f[0] == 97) f[0] = 255;
    else if (f[0] > 97) f[0] = 0;  // notes 98.. have no keymap entry: no note
    if (f[1] > 128) f[1] = 0;
    if (i < pattern.cells.size()) pattern.cells[i] = {f[0], f[1], f[2], f[3], f[4]};
  }
}

void read_envelope(ModuleReader& in, EnvelopePoint* points) {
  for (int i = 0; i < 12; ++i) {
    points[i].x = in.u16();
    points[i].y = std::min<std::uint16_t>(in.u16(), 64);
  }
}

// Keeps the envelope within its 12 points: counts cut, out-of-range sustain and loop
// points switch that feature off, and ticks never go backwards (the envelope step
// waits for a tick equal to the next point's).
void fix_envelope(EnvelopePoint* points, std::uint8_t& count, std::uint8_t sustain, std::uint8_t loop_start,
                  std::uint8_t loop_end, std::uint8_t& type) {
  if (count > 12) count = 12;
  if (sustain >= count) type &= ~2;
  if (loop_start >= count || loop_end >= count || loop_start > loop_end) type &= ~4;
  for (int i = 1; i < 12; ++i) points[i].x = std::max(points[i].x, points[i - 1].x);
  if (count < 2) type = 0;
}

struct SampleHeader {
  std::uint32_t length, loop_start, loop_length;
  std::uint8_t type;
};

bool read_instrument(ModuleReader& in, ModulePlayer& player, Instrument& ins) {
  const std::uint32_t p = in.tell();
  const std::uint32_t header_size = in.u32();
  in.seek(23, 1);
  const unsigned count = in.u16();
  if (count > 16) return false;
  for (Sample*& s : ins.samples) s = &module_defaults::silent_sample;
  if (count == 0) {
    in.seek(static_cast<std::int64_t>(p) + header_size, 0);
    return true;
  }
  in.u32();  // sample header size: always taken as 40
  in.read(ins.keymap, 96);
  read_envelope(in, ins.volume_envelope);
  read_envelope(in, ins.panning_envelope);
  ins.volume_points = in.u8();
  ins.panning_points = in.u8();
  ins.volume_sustain = in.u8();
  ins.volume_loop_start = in.u8();
  ins.volume_loop_end = in.u8();
  ins.panning_sustain = in.u8();
  ins.panning_loop_start = in.u8();
  ins.panning_loop_end = in.u8();
  ins.volume_type = in.u8();
  ins.panning_type = in.u8();
  ins.vibrato_type = in.u8();
  ins.vibrato_sweep = in.u8();
  ins.vibrato_depth = in.u8();
  ins.vibrato_rate = in.u8();
  ins.fadeout = static_cast<std::uint16_t>(in.u16() * 2);
  fix_envelope(ins.volume_envelope, ins.volume_points, ins.volume_sustain, ins.volume_loop_start,
               ins.volume_loop_end, ins.volume_type);
  fix_envelope(ins.panning_envelope, ins.panning_points, ins.panning_sustain, ins.panning_loop_start,
               ins.panning_loop_end, ins.panning_type);
  in.seek(static_cast<std::int64_t>(p) + header_size, 0);

  ins.sample_count = static_cast<int>(count);
  SampleHeader headers[16];
  for (unsigned i = 0; i < count; ++i) {
    auto owned = std::make_unique<Sample>();
    Sample& s = *owned;
    SampleHeader& h = headers[i];
    h.length = in.u32();
    h.loop_start = in.u32();
    h.loop_length = in.u32();
    s.volume = std::min<std::uint8_t>(in.u8(), 64);
    s.finetune = s.loaded_finetune = static_cast<std::int8_t>(in.u8());
    h.type = in.u8();
    s.panning = in.u8();
    s.relative_note = static_cast<std::int8_t>(in.u8());
    in.seek(23, 1);
    ins.samples[i] = owned.get();
    player.sample_store.push_back(std::move(owned));
  }

  for (unsigned i = 0; i < count; ++i) {
    Sample& s = *ins.samples[i];
    const SampleHeader& h = headers[i];
    const bool sixteen = h.type & 0x10;
    const std::uint32_t unit = sixteen ? 2 : 1;
    s.loop_type = (h.type & 2) ? 4 : (h.type & 1) ? 2 : 1;
    // A sample reaching past the end of the file keeps only the bytes that are there, so a
    // damaged length never makes the loader allocate what the file does not hold.
    std::uint32_t length = std::min(h.length / unit, in.remaining() / unit);
    length = std::min<std::uint32_t>(length, 1u << 30);
    std::uint32_t loop_start = h.loop_start / unit, loop_length = h.loop_length / unit;
    if (s.loop_type == 1) {
      loop_start = 0;
      loop_length = length;
    }
    if (loop_start > length) loop_start = length;
    if (loop_length > length - loop_start) loop_length = length - loop_start;
    if (loop_length == 0) {
      loop_start = 0;
      loop_length = length;
      s.loop_type = 1;
    }
    s.length = static_cast<int>(length);
    s.loop_start = static_cast<int>(loop_start);
    s.loop_length = static_cast<int>(loop_length);

    // The declared bytes are consumed even when the file stops early.
    const std::uint32_t declared_bytes = (h.length / unit) * unit;
    if (length == 0) {
      in.seek(declared_bytes, 1);
      s.bits = 16;
      continue;
    }
    s.storage.assign(static_cast<std::size_t>(length) + 8, 0);
    std::int16_t* d = s.storage.data();
    const std::uint8_t* src = in.base() + in.tell();
    std::uint16_t acc = 0;
    if (sixteen) {
      for (std::uint32_t j = 0; j < length; ++j) {
        acc = static_cast<std::uint16_t>(acc + (src[2 * j] | src[2 * j + 1] << 8));
        d[j] = static_cast<std::int16_t>(acc);
      }
    } else {
      for (std::uint32_t j = 0; j < length; ++j) {
        acc = static_cast<std::uint16_t>(acc + (src[j] << 8));
        d[j] = static_cast<std::int16_t>(acc);
      }
    }
    in.seek(declared_bytes, 1);
    const std::uint32_t end = loop_start + loop_length;
    if (s.loop_type == 2) d[end] = d[loop_start];
    else if (s.loop_type == 4) d[end] = d[end - 1];
    s.data = d;
    s.bits = 16;
    sample_unroll_loop(s);
  }
  return true;
}

}  // namespace

std::unique_ptr<ModulePlayer> module_load(const void* data, std::uint32_t size, const char** error) {
  const auto fail = [error](const char* why) {
    if (error) *error = why;
    return nullptr;
  };
  if (!data || size == 0) return fail("the file is empty");
  ModuleReader in(data, size);
  char head[17] = {};
  in.read(head, 17);
  if (std::memcmp(head, signature, 17) != 0) return fail("no \"Extended Module: \" signature");
  // Versions 1.02 and 1.03 store patterns and instruments in another layout; read as 1.04
  // they would play as silence.
  in.seek(58, 0);
  const std::uint32_t version = in.u16();
  if (version != 0x0104) {
    thread_local char message[48];
    std::snprintf(message, sizeof message, "XM version %u.%02X is not supported", version >> 8,
                  version & 0xFF);
    return fail(message);
  }

  auto player = std::make_unique<ModulePlayer>();
  ModulePlayer& m = *player;
  m.tick_function = player_tick;
  m.default_global_volume = 64;

  in.seek(60, 0);
  const std::uint32_t header_size = in.u32();
  int song_length = in.u16();
  int restart = in.u16();
  const int channels = in.u16();
  const int stored_patterns = in.u16();
  const int instrument_count = in.u16();
  m.flags = in.u16();
  m.default_speed = static_cast<std::int16_t>(std::min<int>(in.u16(), 0x7FFF));
  m.default_bpm = static_cast<std::int16_t>(std::min<int>(in.u16(), 0x7FFF));
  in.read(m.order_table, 256);
  in.seek(60 + static_cast<std::int64_t>(header_size), 0);

  if (channels == 0) return fail("no channels (the channel count is 0)");
  if (channels > max_channels) return fail("more than 32 channels");
  if (stored_patterns > max_patterns) return fail("more than 256 patterns");
  // The order table has 256 entries, and the song has at least one position.
  song_length = std::clamp(song_length, 1, 256);
  if (restart >= song_length) restart = 0;
  if (m.default_bpm < 1) m.default_bpm = 1;
  m.song_length = static_cast<std::int16_t>(song_length);
  m.restart_position = static_cast<std::int16_t>(restart);
  m.channel_count = static_cast<std::int16_t>(channels);

  int largest = 0;
  for (int i = 0; i < song_length; ++i) largest = std::max<int>(largest, m.order_table[i]);
  m.stored_patterns = stored_patterns;
  m.pattern_slots = std::max(stored_patterns, largest + 1);
  m.patterns.resize(static_cast<std::size_t>(m.pattern_slots));
  for (int i = 0; i < stored_patterns; ++i) {
    // The header length counts from its own first byte; writers may add fields after
    // the nine bytes read here, so the packed data starts where the length says.
    const std::int64_t start = in.tell();
    const std::uint32_t pattern_header = in.u32();
    in.u8();  // packing type
    const int rows = in.u16();
    const int packed = in.u16();
    if (pattern_header > 9) in.seek(start + static_cast<std::int64_t>(pattern_header), 0);
    read_pattern(in, m.patterns[i], rows, channels, packed != 0);
  }
  for (int i = stored_patterns; i < m.pattern_slots; ++i) read_pattern(in, m.patterns[i], 0, channels, false);

  // Instruments beyond 128 cannot be named by a cell; they are not read.
  m.instrument_count = static_cast<std::int16_t>(std::min(instrument_count, max_instruments));
  m.instruments.resize(static_cast<std::size_t>(m.instrument_count));
  for (Instrument& ins : m.instruments)
    if (!read_instrument(in, m, ins)) return fail("an instrument with more than 16 samples");

  m.row = 0;
  m.order_position = 0;
  return player;
}
