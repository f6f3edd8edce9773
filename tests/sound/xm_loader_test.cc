// The XM loader: layout, normalisation and every limit on damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "sound/music.h"
#include "tests/support/xm_fixtures.h"

namespace {

TEST(XmLoader, ReadsHeaderOrdersAndPatternCells) {
  XmModule m = test_module(3, 16);
  m.orders = {0, 0, 0};
  m.restart_position = 2;
  m.speed = 4;
  m.bpm = 140;
  m.linear_frequencies = false;
  XmPattern& p = m.patterns[0];
  p.at(0, 0, 3) = {49, 1, 0x40, 0xC, 0x20};  // every field: stored unpacked
  p.at(1, 2, 3) = {97, 0, 0, 0, 0};          // key off
  p.at(2, 1, 3) = {0, 200, 0, 0xF, 3};       // instrument above 128
  p.at(3, 1, 3) = {120, 0, 0, 0, 0};         // note without keymap entry
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  const ModulePlayer& mp = *player;
  EXPECT_EQ(mp.song_length, 3);
  EXPECT_EQ(mp.restart_position, 2);
  EXPECT_EQ(mp.channel_count, 3);
  EXPECT_EQ(mp.default_speed, 4);
  EXPECT_EQ(mp.default_bpm, 140);
  EXPECT_FALSE(mp.linear_frequencies());
  EXPECT_EQ(mp.default_global_volume, 64);
  EXPECT_EQ(mp.tick_function, &player_tick);
  ASSERT_EQ(mp.pattern_slots, 1);
  const Pattern& pat = mp.patterns[0];
  ASSERT_EQ(pat.row_count, 16);
  ASSERT_EQ(pat.cells.size(), 48u);
  const PatternCell& c = pat.cells[0];
  EXPECT_EQ(c.note, 49);
  EXPECT_EQ(c.instrument, 1);
  EXPECT_EQ(c.volume, 0x40);
  EXPECT_EQ(c.effect, 0xC);
  EXPECT_EQ(c.param, 0x20);
  EXPECT_EQ(pat.cells[1 * 3 + 2].note, 255);
  EXPECT_EQ(pat.cells[2 * 3 + 1].instrument, 0);
  EXPECT_EQ(pat.cells[2 * 3 + 1].effect, 0xF);
  EXPECT_EQ(pat.cells[3 * 3 + 1].note, 0);
}

TEST(XmLoader, OrderTableBeyondStoredPatternsGetsEmpty64RowPatterns) {
  XmModule m = test_module(2, 8);
  m.orders = {0, 5, 2};
  XmPattern empty;
  empty.rows = 32;
  empty.write_empty = true;  // packed size 0: declared rows, empty cells
  m.patterns.push_back(empty);
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->stored_patterns, 2);
  ASSERT_EQ(player->pattern_slots, 6);
  EXPECT_EQ(player->patterns[1].row_count, 32);
  for (int i = 2; i < 6; ++i) {
    EXPECT_EQ(player->patterns[i].row_count, 64);
    ASSERT_EQ(player->patterns[i].cells.size(), 128u);
    for (const PatternCell& c : player->patterns[i].cells) EXPECT_EQ(c.note | c.instrument | c.effect, 0);
  }
}

TEST(XmLoader, InstrumentWithoutSamplesUsesSilentSampleAndKeepsLaterDataInStep) {
  XmModule m = test_module();
  XmInstrument none;
  m.instruments.insert(m.instruments.begin(), none);
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  ASSERT_EQ(player->instrument_count, 2);
  EXPECT_EQ(player->instruments[0].sample_count, 0);
  for (Sample* s : player->instruments[0].samples) EXPECT_EQ(s, &module_defaults::silent_sample);
  ASSERT_EQ(player->instruments[1].sample_count, 1);
  EXPECT_EQ(player->instruments[1].samples[0]->length, 1000);
  EXPECT_EQ(player->instruments[1].samples[1], &module_defaults::silent_sample);
}

TEST(XmLoader, DecodesDeltasOf8And16BitSamplesAndWritesTheGuardValue) {
  XmModule m = test_module();
  XmSample s16 = test_sample(300, true);
  s16.loop = 1;
  s16.loop_start = 100;
  s16.loop_length = 50;
  XmSample s8 = test_sample(200, false);
  s8.loop = 2;
  s8.loop_start = 20;
  s8.loop_length = 30;
  XmSample none = test_sample(77, true);
  m.instruments[0].samples = {s16, s8, none};
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  const Instrument& ins = player->instruments[0];
  const Sample& a = *ins.samples[0];
  const Sample& b = *ins.samples[1];
  const Sample& c = *ins.samples[2];
  EXPECT_EQ(a.bits, 16);
  EXPECT_EQ(b.bits, 16);
  ASSERT_EQ(a.length, 300);
  // The guard overwrites the value after the loop, which a forward loop never plays.
  for (int i = 0; i < 300; ++i)
    if (i != 150) { ASSERT_EQ(a.data[i], s16.data[i]) << i; }
  for (int i = 0; i < 200; ++i)
    if (i != 50) { ASSERT_EQ(b.data[i], s8.data[i]) << i; }
  EXPECT_EQ(a.loop_type, 2);
  EXPECT_EQ(a.loop_start, 100);
  EXPECT_EQ(a.loop_length, 50);
  EXPECT_EQ(a.data[150], a.data[100]);  // forward: guard = loop start
  EXPECT_EQ(b.loop_type, 4);
  EXPECT_EQ(b.data[50], b.data[49]);  // ping-pong: guard = last loop sample
  EXPECT_EQ(c.loop_type, 1);
  EXPECT_EQ(c.loop_start, 0);
  EXPECT_EQ(c.loop_length, 77);
  for (int i = 77; i < 85; ++i) EXPECT_EQ(c.data[i], 0);
}

TEST(XmLoader, NormalisesLoops) {
  XmModule m = test_module();
  auto make = [](std::uint8_t loop, std::uint32_t start, std::uint32_t length) {
    XmSample s = test_sample(100);
    s.loop = loop;
    s.loop_start = start;
    s.loop_length = length;
    return s;
  };
  m.instruments[0].samples = {make(3, 10, 20), make(1, 10, 0), make(1, 90, 50), make(1, 150, 10),
                              make(0, 10, 20)};
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  const Instrument& ins = player->instruments[0];
  EXPECT_EQ(ins.samples[0]->loop_type, 4);  // type 3 = ping-pong
  EXPECT_EQ(ins.samples[1]->loop_type, 1);  // loop length 0: no loop
  EXPECT_EQ(ins.samples[1]->loop_length, 100);
  EXPECT_EQ(ins.samples[2]->loop_type, 2);  // cut to fit the sample
  EXPECT_EQ(ins.samples[2]->loop_start, 90);
  EXPECT_EQ(ins.samples[2]->loop_length, 10);
  EXPECT_EQ(ins.samples[3]->loop_type, 1);  // starts past the end: no loop left
  EXPECT_EQ(ins.samples[3]->loop_start, 0);
  EXPECT_EQ(ins.samples[3]->loop_length, 100);
  EXPECT_EQ(ins.samples[4]->loop_type, 1);
  EXPECT_EQ(ins.samples[4]->loop_start, 0);
}

TEST(XmLoader, KeepsEnvelopesWithinTheirPoints) {
  XmModule m = test_module();
  XmInstrument& ins = m.instruments[0];
  for (int i = 0; i < 12; ++i) ins.volume_envelope.points.push_back({static_cast<std::uint16_t>(i * 10), 300});
  ins.volume_envelope.count_override = 20;
  ins.volume_envelope.type = 7;
  ins.volume_envelope.sustain = 14;
  ins.volume_envelope.loop_start = 2;
  ins.volume_envelope.loop_end = 12;
  ins.panning_envelope.points = {{0, 32}, {10, 0}, {5, 64}};  // ticks going backwards
  ins.panning_envelope.type = 1;
  ins.fadeout = 0x9000;
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  const Instrument& li = player->instruments[0];
  EXPECT_EQ(li.volume_points, 12);
  EXPECT_EQ(li.volume_type, 1);  // sustain and loop beyond the points switched off
  EXPECT_EQ(li.volume_envelope[3].y, 64);
  EXPECT_EQ(li.panning_type, 1);
  EXPECT_EQ(li.panning_envelope[2].x, 10);
  EXPECT_EQ(li.fadeout, 0x2000);  // doubled, kept in 16 bits
}

TEST(XmLoader, FixesHeaderLimits) {
  XmModule m = test_module();
  m.orders = {0, 0};
  m.restart_position = 2;
  m.bpm = 0;
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->restart_position, 0);
  EXPECT_EQ(player->default_bpm, 1);

  XmModule zero_rows = test_module(2, 0);
  player = load_xm(zero_rows);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->patterns[0].row_count, 64);
  EXPECT_EQ(player->patterns[0].cells.size(), 128u);
}

TEST(XmLoader, RefusesWhatItCannotPlay) {
  EXPECT_EQ(module_load(nullptr, 100), nullptr);
  const std::vector<std::uint8_t> good = xm_write(test_module());
  EXPECT_EQ(module_load(good.data(), 0), nullptr);
  std::vector<std::uint8_t> bad = good;
  bad[9] = 'm';
  EXPECT_EQ(load_bytes(bad), nullptr);

  XmModule wide = test_module(33, 4);
  EXPECT_EQ(load_xm(wide), nullptr);
  XmModule many = test_module();
  many.instruments[0].sample_count_override = 17;
  EXPECT_EQ(load_xm(many), nullptr);

  EXPECT_EQ(music_load(bad.data(), static_cast<std::uint32_t>(bad.size())), 3);
  EXPECT_EQ(music_player(), nullptr);
  EXPECT_EQ(music_load(good.data(), static_cast<std::uint32_t>(good.size())), 0);
  ASSERT_NE(music_player(), nullptr);
  EXPECT_EQ(music_player()->row, 0);
  EXPECT_EQ(music_player()->order_position, 0);
  music_stop();
  EXPECT_EQ(music_player(), nullptr);
}

// Every prefix of a module loads (missing header fields read as zeros) or is refused, and
// whatever loads plays without reading outside its records (checked under ASan).
TEST(XmLoader, TruncatedFilesLoadOrFailCleanly) {
  XmModule m = test_module(4, 8);
  m.patterns[0].at(0, 0, 4) = {49, 1, 0, 0, 0};
  m.patterns[0].at(1, 1, 4) = {61, 1, 0x30, 4, 0x44};
  XmSample looped = test_sample(500, false);
  looped.loop = 2;
  looped.loop_start = 100;
  looped.loop_length = 300;
  m.instruments.push_back(test_instrument(looped));
  const std::vector<std::uint8_t> bytes = xm_write(m);
  int loaded = 0;
  for (std::size_t n = 1; n < bytes.size(); n += (n < 400 ? 1 : 37)) {
    std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(n));
    auto player = load_bytes(prefix);
    if (!player) continue;
    ++loaded;
    for (const Instrument& ins : player->instruments)
      for (int s = 0; s < ins.sample_count; ++s) {
        const Sample& smp = *ins.samples[s];
        EXPECT_LE(smp.loop_start + smp.loop_length, smp.length);
      }
    std::vector<float> span(2 * 4000);
    std::vector<std::int16_t> pcm(2 * 4000);
    player_start(*player);
    mix_frames(*player, span.data(), pcm.data(), 4000);
  }
  EXPECT_GT(loaded, 100);
  // A file cut inside the header: the song length field is missing and reads as zero,
  // which still gives one (empty) position.
  std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + 64);
  const char* why = nullptr;
  EXPECT_EQ(module_load(cut.data(), static_cast<std::uint32_t>(cut.size()), &why), nullptr);
  ASSERT_NE(why, nullptr);
  EXPECT_NE(std::strstr(why, "channel"), nullptr) << why;
}

// What other trackers write: older versions are refused by name, extra pattern header
// bytes are skipped, and a module without channels is refused as such.
TEST(XmLoader, HonoursVersionPatternHeaderLengthAndChannelCount) {
  XmModule m = test_module(2, 4);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0x40, 0xC, 0x20};
  m.patterns[0].at(3, 1, 2) = {61, 1, 0, 0, 0};
  const std::vector<std::uint8_t> good = xm_write(m);
  auto u32_at = [&](std::size_t at) {
    return good[at] | good[at + 1] << 8 | good[at + 2] << 16 | std::uint32_t(good[at + 3]) << 24;
  };
  ASSERT_EQ(good[58] | good[59] << 8, 0x0104);

  for (std::uint16_t version : {0x0102, 0x0103, 0x0105, 0x0000}) {
    std::vector<std::uint8_t> old = good;
    old[58] = std::uint8_t(version);
    old[59] = std::uint8_t(version >> 8);
    const char* why = nullptr;
    EXPECT_EQ(module_load(old.data(), static_cast<std::uint32_t>(old.size()), &why), nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "XM version %u.%02X is not supported",
                  version >> 8, version & 0xFF);
    ASSERT_NE(why, nullptr);
    EXPECT_STREQ(why, expected);
  }

  // Five extra bytes after the nine of the pattern header, counted in its length.
  const std::size_t pattern = 60 + u32_at(60);
  ASSERT_EQ(u32_at(pattern), 9u);
  std::vector<std::uint8_t> longer = good;
  longer[pattern] = 14;
  longer.insert(longer.begin() + static_cast<long>(pattern + 9), {0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
  auto a = load_bytes(good), b = load_bytes(longer);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  ASSERT_EQ(b->patterns[0].cells.size(), a->patterns[0].cells.size());
  for (std::size_t i = 0; i < a->patterns[0].cells.size(); ++i) {
    EXPECT_EQ(b->patterns[0].cells[i].note, a->patterns[0].cells[i].note) << i;
    EXPECT_EQ(b->patterns[0].cells[i].instrument, a->patterns[0].cells[i].instrument) << i;
    EXPECT_EQ(b->patterns[0].cells[i].volume, a->patterns[0].cells[i].volume) << i;
  }
  EXPECT_EQ(b->patterns[0].cells[0].note, 49);
  EXPECT_EQ(b->patterns[0].cells[3 * 2 + 1].note, 61);
  // The instrument after the pattern is still found.
  ASSERT_EQ(b->instruments.size(), a->instruments.size());
  EXPECT_EQ(b->instruments[0].sample_count, a->instruments[0].sample_count);

  std::vector<std::uint8_t> silent = good;
  silent[68] = silent[69] = 0;  // channel count
  const char* why = nullptr;
  EXPECT_EQ(module_load(silent.data(), static_cast<std::uint32_t>(silent.size()), &why), nullptr);
  ASSERT_NE(why, nullptr);
  EXPECT_NE(std::strstr(why, "channel"), nullptr) << why;
}

TEST(XmLoader, CutsSamplesToTheBytesTheFileHolds) {
  XmModule m = test_module();
  m.instruments[0].samples[0].length_override = 0x40000000;  // claims a gigabyte
  auto player = load_xm(m);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->instruments[0].samples[0]->length, 1000);
}

}  // namespace
