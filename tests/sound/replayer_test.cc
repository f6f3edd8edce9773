// The replayer tick by tick: scheduling, effects, volume column, envelopes.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/xm_fixtures.h"

namespace {

// A song of patterns of 2 channels; cells are set before start().
struct Song {
  XmModule xm = test_module(2, 64);
  std::unique_ptr<ModulePlayer> player;

  XmCell& cell(int row, int channel, int pattern = 0) {
    while (static_cast<int>(xm.patterns.size()) <= pattern) xm.patterns.push_back(XmPattern{});
    return xm.patterns[pattern].at(row, channel, xm.channels);
  }
  ModulePlayer& start() {
    player = load_xm(xm);
    EXPECT_TRUE(player);
    player_start(*player);
    return *player;
  }
  ModulePlayer& m() { return *player; }
  Channel& ch(int c = 0) { return player->channels[c]; }
  void ticks(int n) { run_ticks(*player, n); }
  // Runs row ticks until the row changes n times; returns the (order, row) visited.
  std::vector<std::pair<int, int>> rows(int n) { return run_rows(*player, n); }
};

using Rows = std::vector<std::pair<int, int>>;

TEST(Replayer, StartStateAndSpeed) {
  Song s;
  s.xm.speed = 3;
  s.xm.bpm = 150;
  ModulePlayer& m = s.start();
  EXPECT_EQ(m.speed, 3);
  EXPECT_EQ(m.samples_per_tick, 735);
  EXPECT_EQ(m.channels[1].voice, &m.voices[1]);
  EXPECT_EQ(m.voices[40].index, 40);
  EXPECT_EQ(s.rows(3), (Rows{{0, 0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(m.tick, 1);
  player_set_bpm(m, 125);
  EXPECT_EQ(m.samples_per_tick, 882);
}

TEST(Replayer, SpeedZeroMakesEveryTickARowTick) {
  Song s;
  s.cell(0, 0) = {0, 0, 0, 0xF, 0};
  ModulePlayer& m = s.start();
  s.ticks(1);
  EXPECT_EQ(m.speed, 0);
  EXPECT_EQ(m.tick, 0);
  s.ticks(1);
  EXPECT_EQ(m.row, 1);
  s.ticks(1);
  EXPECT_EQ(m.row, 2);
}

TEST(Replayer, BreaksJumpsAndTheSongsEnd) {
  Song s;
  s.xm.orders = {0, 1, 2};
  s.xm.restart_position = 1;
  s.cell(0, 0, 0) = {0, 0, 0, 0xD, 0x70};  // row 70 > 63: row 0
  s.cell(0, 1, 1) = {0, 0, 0, 0xB, 2};     // jump in channel 1...
  s.cell(0, 0, 1) = {0, 0, 0, 0xD, 0x05};  // ...after a break in channel 0: jump wins with row 0
  s.cell(0, 0, 2) = {0, 0, 0, 0xB, 9};     // beyond the song: position 0
  s.cell(0, 1, 2) = {0, 0, 0, 0xD, 0x12};  // break after the jump: jump's order, break's row
  s.start();
  EXPECT_EQ(s.rows(4), (Rows{{0, 0}, {1, 0}, {2, 0}, {0, 12}}));
}

TEST(Replayer, NaturalEndGoesToTheRestartPositionAndShortBreakTargetsToRowZero) {
  Song s;
  s.xm.orders = {0, 1};
  s.xm.restart_position = 1;
  s.xm.patterns.resize(2);
  s.xm.patterns[0].rows = 2;
  s.xm.patterns[1].rows = 4;
  s.cell(0, 0, 0) = {0, 0, 0, 0xD, 0x30};  // row 30 of a 4-row pattern
  s.start();
  EXPECT_EQ(s.rows(6), (Rows{{0, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 0}}));
}

TEST(Replayer, PatternLoopRepeatsTheSection) {
  Song s;
  s.cell(1, 0) = {0, 0, 0, 0xE, 0x60};
  s.cell(3, 0) = {0, 0, 0, 0xE, 0x63};
  s.start();
  Rows expect{{0, 0}};
  for (int i = 0; i < 4; ++i)
    for (int r = 1; r <= 3; ++r) expect.push_back({0, r});
  expect.push_back({0, 4});
  EXPECT_EQ(s.rows(14), expect);
}

TEST(Replayer, PatternDelayHoldsTheRowAndReadsNotesOnce) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0xE, 0xE2};
  ModulePlayer& m = s.start();
  s.ticks(1);
  Voice* v = s.ch().voice;
  s.ticks(17);
  EXPECT_EQ(m.row, 0);
  EXPECT_EQ(s.ch().voice, v);  // no second trigger
  s.ticks(1);
  EXPECT_EQ(m.row, 1);
}

TEST(Replayer, NoteStartsWithLinearAndAmigaPeriods) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};  // C-4
  s.xm.instruments[0].samples[0].relative_note = 2;
  s.xm.instruments[0].samples[0].finetune = -16;
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().real_note, 50);
  EXPECT_EQ(s.ch().period, 7680 - 50 * 64 + 8);
  EXPECT_EQ(s.ch().voice->sample, s.m().instruments[0].samples[0]);

  EXPECT_EQ(amiga_period(48, 0), 1712);
  EXPECT_EQ(amiga_period(60, 0), 856);
  EXPECT_EQ(amiga_period(48, 64), 1712 - (1712 - amiga_period(49, 0)) * 64 / 128);
  EXPECT_EQ(amiga_period(48, -128), amiga_period(47, 0));
  Song a;
  a.xm.linear_frequencies = false;
  a.cell(0, 0) = {49, 1, 0, 0, 0};
  a.start();
  a.ticks(1);
  EXPECT_EQ(a.ch().period, 1712);
}

TEST(Replayer, PortamentosAndTonePortamento) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x1, 0x02};
  s.cell(1, 0) = {0, 0, 0, 0x2, 0x00};  // memory of its own: 0 means nothing yet
  s.cell(2, 0) = {61, 0, 0, 0x3, 0x40};  // towards C-5 at 4 x 0x40 per tick
  s.cell(0, 1) = {49, 1, 0, 0xE, 0x13};  // fine porta up on the row tick
  s.cell(1, 1) = {0, 0, 0, 0x21, 0x25};  // extra-fine down
  s.start();
  const int c4 = 7680 - 48 * 64;
  s.ticks(1);
  EXPECT_EQ(s.ch().period, c4);
  EXPECT_EQ(s.ch(1).period, c4 - 12);
  s.ticks(5);
  EXPECT_EQ(s.ch().period, c4 - 5 * 8);
  s.ticks(6);
  EXPECT_EQ(s.ch().period, c4 - 5 * 8);
  EXPECT_EQ(s.ch(1).period, c4 - 12 + 5);
  Voice* v = s.ch().voice;
  s.ticks(1);  // tone porta row: no retrigger, no period change yet
  EXPECT_EQ(s.ch().voice, v);
  EXPECT_EQ(s.ch().period, c4 - 40);
  EXPECT_EQ(s.ch().porta_target, c4 - 12 * 64);
  s.ticks(2);
  EXPECT_EQ(s.ch().period, c4 - 40 - 2 * 256);
  s.ticks(3);
  EXPECT_EQ(s.ch().period, c4 - 12 * 64);  // not past the target
}

TEST(Replayer, VibratoBendsOnTheRowTickAtTheCurrentPosition) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x4, 0x88};
  s.cell(1, 0) = {0, 0, 0, 0x4, 0x00};
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().period_delta, 0);  // position 0: sine 0
  s.ticks(1);
  EXPECT_EQ(s.ch().vibrato_position, 8);
  s.ticks(4);
  EXPECT_EQ(s.ch().vibrato_position, -24);  // 5 advances of 8, wrapped by 64
  s.ticks(1);  // the row tick applies the current position without advancing
  const int w = static_cast<int>(std::fabs(std::sin(-24 * M_PI / 32)) * 256);
  EXPECT_EQ(s.ch().period_delta, ((w * 8) >> 5) & ~3);
  EXPECT_EQ(s.ch().vibrato_position, -24);
}

TEST(Replayer, VolumeEffectsAndColumn) {
  Song s;
  s.cell(0, 0) = {49, 1, 0x30, 0xA, 0x20};  // volume 32, slide up 2
  s.cell(1, 0) = {0, 0, 0x62, 0xC, 0x50};   // set 80 (above 64), column slides down 2 on other ticks
  s.cell(2, 0) = {0, 0, 0x85, 0xE, 0xA3};   // fine down 5 (column), fine up 3
  s.cell(3, 0) = {0, 0, 0, 0xE, 0xC2};      // note cut at tick 2
  s.cell(0, 1) = {49, 1, 0xC4, 0x8, 0x30};  // column panning then effect panning
  s.cell(1, 1) = {0, 0, 0, 0x19, 0x02};     // panning slide left 2
  ModulePlayer& m = s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().volume, 32);
  EXPECT_EQ(s.ch(1).panning, 0x30);
  s.ticks(5);
  EXPECT_EQ(s.ch().volume, 42);
  s.ticks(1);
  EXPECT_EQ(s.ch().volume, 80);
  EXPECT_GT(s.ch().voice->volume, 127);  // louder than full volume
  s.ticks(5);
  EXPECT_EQ(s.ch().volume, 70);
  EXPECT_EQ(s.ch(1).panning, 0x30 - 5 * 2);
  s.ticks(1);
  EXPECT_EQ(s.ch().volume, 64);  // 70 - 5 + 3, at most 64
  s.ticks(6);
  EXPECT_EQ(s.ch().volume, 64);
  s.ticks(2);
  EXPECT_EQ(s.ch().volume, 0);
  EXPECT_EQ(m.global_volume, 64);
}

TEST(Replayer, GlobalVolumeAndItsSlide) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x10, 0x50};
  s.cell(1, 0) = {0, 0, 0, 0x11, 0x04};
  ModulePlayer& m = s.start();
  s.ticks(1);
  EXPECT_EQ(m.global_volume, 64);
  s.ticks(6);
  s.ticks(5);
  EXPECT_EQ(m.global_volume, 64 - 20);
}

TEST(Replayer, TremoloOffsetStaysWhenTheTremoloStops) {
  Song s;
  s.cell(0, 0) = {49, 1, 0x20, 0x7, 0x4F};  // volume 16
  s.cell(1, 0) = {0, 0, 0, 0, 0};
  s.start();
  s.ticks(6);
  const int offset = s.ch().volume_delta;
  EXPECT_NE(offset, 0);
  s.ticks(1);
  EXPECT_EQ(s.ch().volume, 16 + offset);
  EXPECT_EQ(s.ch().volume_delta, 0);
}

TEST(Replayer, KeyOffWithoutEnvelopeSilencesAtOnce) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {97, 0, 0, 0, 0};
  s.start();
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->volume, 127);
  s.ticks(1);
  EXPECT_EQ(s.ch().key_off, 1);
  EXPECT_EQ(s.ch().volume_envelope.value, 0);
  EXPECT_EQ(s.ch().voice->volume, 0);
}

TEST(Replayer, KeyOffReleasesTheSustainAndStartsTheFadeout) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.volume_envelope.points = {{0, 64}, {4, 32}, {8, 0}};
  ins.volume_envelope.type = 3;
  ins.volume_envelope.sustain = 1;
  ins.fadeout = 0x800;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(2, 0) = {0, 0, 0, 0x14, 0};
  s.start();
  s.ticks(3);
  EXPECT_EQ(s.ch().volume_envelope.value, 48);  // halfway down the first segment (64 -> 32 over 4)
  s.ticks(9);
  EXPECT_EQ(s.ch().volume_envelope.value, 32);  // held at the sustain point
  EXPECT_EQ(s.ch().fadeout_volume, 65536);
  s.ticks(1);
  EXPECT_EQ(s.ch().key_off, 1);
  EXPECT_EQ(s.ch().fadeout_volume, 65536 - 0x1000);
  s.ticks(5);
  EXPECT_EQ(s.ch().volume_envelope.value, 0);
  EXPECT_EQ(s.ch().volume_envelope.ended, 1);
  EXPECT_EQ(s.ch().fadeout_volume, 65536 - 6 * 0x1000);
}

TEST(Replayer, EnvelopeLoopAndSetPosition) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.volume_envelope.points = {{0, 0}, {2, 64}, {4, 0}, {10, 64}};
  ins.volume_envelope.type = 5;  // on + loop 0..2
  ins.volume_envelope.loop_start = 0;
  ins.volume_envelope.loop_end = 2;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {0, 0, 0, 0x15, 7};
  s.start();
  std::vector<int> values;
  for (int i = 0; i < 6; ++i) {
    s.ticks(1);
    values.push_back(s.ch().volume_envelope.value);
  }
  EXPECT_EQ(values, (std::vector<int>{0, 32, 64, 32, 0, 32}));
  s.ticks(1);  // L07: between points 2 (4, 0) and 3 (10, 64)
  EXPECT_EQ(s.ch().volume_envelope.point, 3);
  EXPECT_EQ(s.ch().volume_envelope.value, (3 * ((64 << 16) / 6)) >> 16);
}

TEST(Replayer, SampleOffsetRetrigAndNoteDelay) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x9, 0x02};  // offset 512 < 1000
  s.cell(1, 0) = {49, 1, 0, 0x9, 0x10};  // offset 4096: beyond, no new note, restart
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x93};   // retrigger every 3 ticks
  s.cell(3, 0) = {49, 1, 0x20, 0xE, 0xD2};
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().voice->position >> 32, 512u);
  s.ticks(5);
  Voice* v = s.ch().voice;
  s.ticks(1);
  EXPECT_EQ(s.ch().voice, v);
  EXPECT_EQ(v->position, 0u);
  s.ticks(6);
  Voice* before = s.ch().voice;
  s.ticks(3);  // ticks 1, 2, 3 of the row: retrigger at 3
  EXPECT_NE(s.ch().voice, before);
  s.ticks(3);
  Voice* held = s.ch().voice;
  s.ticks(1);  // note delay: nothing until tick 2
  EXPECT_EQ(s.ch().voice, held);
  s.ticks(1);
  EXPECT_NE(s.ch().voice, held);
  EXPECT_EQ(s.ch().volume, 16);
}

TEST(Replayer, ArpeggioTremorAndMultiRetrig) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x0, 0x47};
  s.cell(0, 1) = {49, 1, 0, 0x1D, 0x11};  // 2 ticks on, 2 off
  s.cell(1, 1) = {0, 0, 0, 0x1B, 0x52};   // -16 every 2 ticks
  s.start();
  s.ticks(1);
  std::vector<int> arp, tremor;
  for (int i = 0; i < 5; ++i) {
    s.ticks(1);
    arp.push_back(s.ch().period_delta);
    tremor.push_back(s.ch(1).volume_delta);
  }
  EXPECT_EQ(arp, (std::vector<int>{4 * 64, 7 * 64, 0, 4 * 64, 7 * 64}));
  EXPECT_EQ(tremor, (std::vector<int>{0, -64, -64, 0, 0}));
  s.ticks(1 + 4);
  EXPECT_EQ(s.ch(1).volume, 64 - 32);
}

TEST(Replayer, SetBpmAndFinetuneEffect) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0xF, 0xFF};
  s.cell(1, 0) = {0, 0, 0, 0xE, 0x55};
  ModulePlayer& m = s.start();
  s.ticks(1);
  EXPECT_EQ(m.bpm, 255);
  EXPECT_EQ(m.samples_per_tick, 432);
  s.ticks(6);
  EXPECT_EQ(m.instruments[0].samples[0]->finetune, 5);
  EXPECT_EQ(module_defaults::silent_sample.finetune, 0);
}

TEST(Replayer, UpdateFlagsOfTheRowTick) {
  Song s;
  s.xm.channels = 4;
  s.cell(0, 0) = {49, 1, 0, 0x3, 0x10};   // tone porta: no trigger
  s.cell(0, 1) = {49, 1, 0, 0xE, 0xD3};   // note delay: nothing but auto-vibrato's frequency
  s.cell(0, 2) = {49, 1, 0, 0x9, 0x10};   // offset beyond the sample: restart, no trigger
  s.cell(0, 3) = {0, 0, 0xF0, 0x8, 0x80};  // panning; column porta clears only the trigger
  s.start();
  s.ticks(1);
  // Channels 0, 1 and 3 have no period yet (porta and delay keep the old one, 0), so
  // update_voice drops their frequency flag.
  EXPECT_EQ(s.ch(0).update_flags, update_volume | update_panning);
  EXPECT_EQ(s.ch(1).update_flags, 0);
  EXPECT_EQ(s.ch(2).update_flags, update_frequency | update_volume | update_panning | update_restart);
  EXPECT_EQ(s.ch(3).update_flags, update_volume | update_panning);
  s.ticks(1);  // other ticks start from nothing: auto-vibrato's frequency only
  EXPECT_EQ(s.ch(2).update_flags, update_frequency);
}

TEST(Replayer, MissingInstrumentsAndSamplesPlaySilence) {
  Song s;
  s.cell(0, 0) = {49, 9, 0, 0, 0};  // no instrument 9
  s.cell(0, 1) = {49, 1, 0, 0, 0};
  s.xm.instruments[0].keymap[48] = 7;  // no sample 7
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch(0).voice->sample, &module_defaults::silent_sample);
  EXPECT_EQ(s.ch(1).voice->sample, &module_defaults::silent_sample);
  std::vector<float> out(2 * 100);
  mix_voices(s.m(), out.data(), 100);
  EXPECT_EQ(s.ch(0).voice->sample, nullptr);
}

}  // namespace
