// XM file writer: packed patterns, delta-coded samples.
#include "authoring/xm_writer.h"

#include <algorithm>
#include <cstring>

namespace {

struct Out {
  std::vector<std::uint8_t> bytes;
  void u8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
  void u16(unsigned v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
  void text(const std::string& s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
  }
  void put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
};

void write_pattern(Out& out, const XmPattern& p, int channels) {
  out.u32(9);
  out.u8(0);
  out.u16(static_cast<unsigned>(p.rows));
  std::size_t size_at = out.bytes.size();
  out.u16(0);
  if (p.write_empty) return;
  std::size_t start = out.bytes.size();
  const std::size_t total = static_cast<std::size_t>(p.rows) * static_cast<std::size_t>(channels);
  for (std::size_t i = 0; i < total; ++i) {
    XmCell c = i < p.cells.size() ? p.cells[i] : XmCell{};
    const std::uint8_t f[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    unsigned mask = 0;
    for (int k = 0; k < 5; ++k)
      if (f[k]) mask |= 1u << k;
    if (mask == 0x1F) {  // every field present: the unpacked form is shorter
      for (int k = 0; k < 5; ++k) out.u8(f[k]);
      continue;
    }
    out.u8(0x80 | mask);
    for (int k = 0; k < 5; ++k)
      if (mask & (1u << k)) out.u8(f[k]);
  }
  std::size_t packed = out.bytes.size() - start;
  out.bytes[size_at] = static_cast<std::uint8_t>(packed);
  out.bytes[size_at + 1] = static_cast<std::uint8_t>(packed >> 8);
}

void write_envelope_points(Out& out, const XmEnvelope& e) {
  for (std::size_t i = 0; i < 12; ++i) {
    out.u16(i < e.points.size() ? e.points[i][0] : 0);
    out.u16(i < e.points.size() ? e.points[i][1] : 0);
  }
}

void write_instrument(Out& out, const XmInstrument& ins) {
  const std::size_t start = out.bytes.size();
  const unsigned count = ins.sample_count_override.value_or(static_cast<std::uint16_t>(ins.samples.size()));
  out.u32(0);  // header size, patched below
  out.text(ins.name, 22);
  out.u8(0);
  out.u16(count);
  if (ins.samples.empty()) {
    out.put32(start, static_cast<std::uint32_t>(out.bytes.size() - start));
    return;
  }
  out.u32(40);
  for (std::uint8_t k : ins.keymap) out.u8(k);
  write_envelope_points(out, ins.volume_envelope);
  write_envelope_points(out, ins.panning_envelope);
  const XmEnvelope& v = ins.volume_envelope;
  const XmEnvelope& p = ins.panning_envelope;
  out.u8(v.count_override.value_or(static_cast<std::uint8_t>(std::min<std::size_t>(v.points.size(), 255))));
  out.u8(p.count_override.value_or(static_cast<std::uint8_t>(std::min<std::size_t>(p.points.size(), 255))));
  out.u8(v.sustain); out.u8(v.loop_start); out.u8(v.loop_end);
  out.u8(p.sustain); out.u8(p.loop_start); out.u8(p.loop_end);
  out.u8(v.type); out.u8(p.type);
  out.u8(ins.vibrato_type); out.u8(ins.vibrato_sweep); out.u8(ins.vibrato_depth); out.u8(ins.vibrato_rate);
  out.u16(ins.fadeout);
  out.text("", 22);  // reserved
  out.put32(start, static_cast<std::uint32_t>(out.bytes.size() - start));

  for (const XmSample& s : ins.samples) {
    const std::uint32_t unit = s.sixteen_bit ? 2 : 1;
    const std::uint32_t length = s.length_override.value_or(static_cast<std::uint32_t>(s.data.size()));
    out.u32(length * unit);
    out.u32(s.loop_start * unit);
    out.u32(s.loop_length * unit);
    out.u8(s.volume);
    out.u8(static_cast<std::uint8_t>(s.finetune));
    out.u8((s.loop & 3) | (s.sixteen_bit ? 0x10 : 0));
    out.u8(s.panning);
    out.u8(static_cast<std::uint8_t>(s.relative_note));
    out.u8(0);
    out.text(s.name, 22);
  }
  for (const XmSample& s : ins.samples) {
    std::int16_t previous = 0;
    for (std::int16_t value : s.data) {
      if (s.sixteen_bit) {
        out.u16(static_cast<std::uint16_t>(value - previous));
        previous = value;
      } else {
        const std::int8_t b = static_cast<std::int8_t>(value >> 8);
        out.u8(static_cast<std::uint8_t>(b - static_cast<std::int8_t>(previous)));
        previous = b;
      }
    }
  }
}

}  // namespace

XmCell& XmPattern::at(int row, int channel, int channels) {
  const std::size_t i = static_cast<std::size_t>(row) * channels + channel;
  if (cells.size() <= i) cells.resize(i + 1);
  return cells[i];
}

std::vector<std::uint8_t> xm_write(const XmModule& m) {
  Out out;
  out.text("Extended Module: ", 17);
  out.text(m.name, 20);
  out.u8(0x1A);
  out.text("Kestol XM writer", 20);
  out.u16(0x0104);
  out.u32(276);
  out.u16(m.song_length_override.value_or(static_cast<std::uint16_t>(m.orders.size())));
  out.u16(m.restart_position);
  out.u16(static_cast<unsigned>(m.channels));
  out.u16(m.pattern_count_override.value_or(static_cast<std::uint16_t>(m.patterns.size())));
  out.u16(static_cast<unsigned>(m.instruments.size()));
  out.u16(m.linear_frequencies ? 1 : 0);
  out.u16(m.speed);
  out.u16(m.bpm);
  for (std::size_t i = 0; i < 256; ++i) out.u8(i < m.orders.size() ? m.orders[i] : 0);
  for (const XmPattern& p : m.patterns) write_pattern(out, p, m.channels);
  for (const XmInstrument& ins : m.instruments) write_instrument(out, ins);
  return std::move(out.bytes);
}
