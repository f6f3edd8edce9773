// The FastTracker 2 replay mode, behaviour by behaviour, in small songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sound/render.h"
#include "tests/support/xm_fixtures.h"

#if KESTOL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

constexpr std::uint8_t key_off_note = 97;

struct Song {
  XmModule xm = test_module(2, 64);
  std::unique_ptr<ModulePlayer> player;

  XmCell& cell(int row, int channel, int pattern = 0) {
    while (static_cast<int>(xm.patterns.size()) <= pattern) xm.patterns.push_back(XmPattern{});
    return xm.patterns[pattern].at(row, channel, xm.channels);
  }
  ModulePlayer& start(ReplayMode mode = ReplayMode::ft2) {
    player = load_xm(xm, mode);
    EXPECT_TRUE(player);
    player_start(*player);
    return *player;
  }
  Channel& ch(int c = 0) { return player->channels[c]; }
  void ticks(int n) { run_ticks(*player, n); }
  std::vector<std::pair<int, int>> rows(int n) { return run_rows(*player, n); }
};

using Rows = std::vector<std::pair<int, int>>;

int linear_period(int real_note, int finetune = 0) { return 7680 - real_note * 64 - finetune / 2; }

TEST(Ft2Replay, ClassicIsTheDefault) {
  Song s;
  s.player = load_xm(s.xm);
  ASSERT_TRUE(s.player);
  EXPECT_EQ(s.player->replay_mode, ReplayMode::classic);
  EXPECT_STREQ(replay_mode_name(ReplayMode::ft2), "ft2");
  EXPECT_STREQ(replay_mode_name(ReplayMode::classic), "classic");
}

TEST(Ft2Replay, PanningRunsFromLeftToRightWithTheSquareRootLaw) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x8, 0x00};
  s.cell(0, 1) = {49, 1, 0, 0x8, 0xFF};
  s.cell(1, 0) = {0, 0, 0, 0x8, 0x80};
  s.start();
  s.ticks(1);
  const Voice& left = *s.ch(0).voice;
  const Voice& right = *s.ch(1).voice;
  EXPECT_EQ(left.volume, 127);
  EXPECT_EQ(left.left, 127);
  EXPECT_EQ(left.right, 0);
  EXPECT_EQ(right.left, 8);  // 127 * sqrt(1 / 256)
  EXPECT_EQ(right.right, 127);
  s.ticks(6);
  EXPECT_EQ(s.ch(0).voice->left, 90);  // 127 * sqrt(1/2) at the centre
  EXPECT_EQ(s.ch(0).voice->right, 90);
}

TEST(Ft2Replay, PanningEnvelopeSwingsWithinTheRoomTowardsTheNearerSide) {
  Song s;
  s.xm.instruments[0].panning_envelope.points = {{0, 40}, {10, 40}};
  s.xm.instruments[0].panning_envelope.type = 1;
  s.cell(0, 0) = {49, 1, 0, 0x8, 0xB0};  // room 80: 8 of 32 steps right add 20
  s.start();
  s.ticks(2);
  EXPECT_EQ(s.ch().voice->panning, 0xB0 + 20);
}

TEST(Ft2Replay, FinishedPatternLoopStartsTheNextPatternAtItsStartRow) {
  Song s;
  s.xm.orders = {0, 1};
  s.xm.patterns.resize(2);
  s.xm.patterns[0].rows = 6;
  s.xm.patterns[1].rows = 6;
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x60};
  s.cell(3, 0) = {0, 0, 0, 0xE, 0x61};
  s.start();
  EXPECT_EQ(s.rows(13), (Rows{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 2}, {0, 3}, {0, 4}, {0, 5},
                              {1, 2}, {1, 3}, {1, 4}, {1, 5}, {0, 0}}));
  // The classic replay starts the next pattern at its top.
  s.start(ReplayMode::classic);
  EXPECT_EQ(s.rows(9).back(), (std::pair<int, int>{1, 0}));
}

TEST(Ft2Replay, BreakAndJumpForgetTheLoopRow) {
  Song s;
  s.xm.orders = {0, 1, 2};
  s.xm.patterns.resize(3);
  for (auto& p : s.xm.patterns) p.rows = 4;
  s.cell(1, 0) = {0, 0, 0, 0xE, 0x60};
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x61};
  s.cell(3, 0) = {0, 0, 0, 0xD, 0x00};  // break to row 0 of the next pattern
  s.cell(3, 0, 1) = {0, 0, 0, 0xB, 0x02};
  s.start();
  EXPECT_EQ(s.rows(10), (Rows{{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 3}}));
  EXPECT_EQ(s.rows(1), (Rows{{2, 0}}));
}

TEST(Ft2Replay, SongEndFollowsTheLoopIntoTheNextPattern) {
  Song s;
  s.xm.orders = {0, 1};
  s.xm.patterns.resize(2);
  s.xm.patterns[0].rows = 6;
  s.xm.patterns[1].rows = 6;
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x60};
  s.cell(3, 0) = {0, 0, 0, 0xE, 0x61};
  s.start();
  OfflineRenderer r(*s.player);
  std::vector<std::int16_t> pcm(2 * chunk_frames);
  for (int i = 0; i < 200 && !r.song_ended(); ++i) r.render_chunk(pcm.data(), true);
  ASSERT_TRUE(r.song_ended());
  // 8 rows of pattern 0 (two of them twice), rows 2-5 of pattern 1: 12 rows of 6 ticks.
  EXPECT_EQ(r.song_end_frame(), 12u * 6 * 882);
}

TEST(Ft2Replay, SampleOffsetAtOrPastTheEndSilencesTheNote) {
  Song s;
  s.xm.instruments.push_back(test_instrument(test_sample(1000)));
  s.xm.instruments[1].samples[0].loop = 1;
  s.xm.instruments[1].samples[0].loop_start = 100;
  s.xm.instruments[1].samples[0].loop_length = 200;  // ends at 300
  s.cell(0, 0) = {49, 1, 0, 0x9, 0x03};
  s.cell(1, 0) = {49, 1, 0, 0x9, 0x04};     // 1024 >= 1000
  s.cell(2, 0) = {0, 0, 0, 0x9, 0x02};      // no note: not remembered
  s.cell(3, 0) = {49, 1, 0, 0x9, 0x00};     // 1024 from the memory: silent again
  s.cell(4, 0) = {49, 1, 0xF1, 0x9, 0x01};  // a portamento starts no note: not remembered
  s.cell(5, 0) = {49, 2, 0, 0x9, 0x02};     // 512 past the loop's end at 300
  s.cell(6, 0) = {49, 1, 0, 0x9, 0x00};     // 512 from the memory
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().voice->position >> 32, 768u);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  EXPECT_EQ(s.ch().offset_memory, 4);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  s.ticks(6);
  EXPECT_EQ(s.ch().offset_memory, 4);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  s.ticks(6);
  ASSERT_NE(s.ch().voice->sample, nullptr);
  EXPECT_EQ(s.ch().voice->position >> 32, 512u);
}

TEST(Ft2Replay, VolumeColumnPortamentoSlidesWithoutRetriggerAndSharesItsSpeed) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {61, 0, 0xF8, 0, 0};  // M8: speed 128, to an octave up
  s.cell(2, 0) = {49, 0, 0, 0x3, 0x00};  // 300 keeps the speed M8 set
  s.start();
  s.ticks(6);
  Voice* v = s.ch().voice;
  s.ticks(1);
  EXPECT_EQ(s.ch().voice, v);
  EXPECT_EQ(s.ch().period, linear_period(48));
  EXPECT_EQ(s.ch().porta_target, linear_period(60));
  s.ticks(1);
  EXPECT_EQ(s.ch().period, linear_period(48) - 512);
  s.ticks(1);
  EXPECT_EQ(s.ch().period, linear_period(60));
  s.ticks(5);
  EXPECT_EQ(s.ch().voice, v);
  EXPECT_EQ(s.ch().period, linear_period(60) + 512);
}

TEST(Ft2Replay, KeyOffWaitsForTheNoteDelayAndForKxx) {
  Song s;
  s.xm.instruments[0].volume_envelope.points = {{0, 64}, {4, 64}, {8, 0}};
  s.xm.instruments[0].volume_envelope.sustain = 1;
  s.xm.instruments[0].volume_envelope.type = 3;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {key_off_note, 0, 0, 0xE, 0xD2};
  s.cell(0, 1) = {49, 1, 0, 0x14, 3};
  s.cell(1, 1) = {49, 1, 0, 0x14, 0};
  s.start();
  s.ticks(3);
  EXPECT_EQ(s.ch(1).key_off, 0);
  s.ticks(1);
  EXPECT_EQ(s.ch(1).key_off, 1);  // K03 on tick 3
  s.ticks(3);
  EXPECT_EQ(s.ch(0).key_off, 0);
  EXPECT_EQ(s.ch(1).key_off, 1);  // K00 with the note's row
  s.ticks(1);
  EXPECT_EQ(s.ch(0).key_off, 0);
  s.ticks(1);
  EXPECT_EQ(s.ch(0).key_off, 1);  // === with ED2 on tick 2
}

TEST(Ft2Replay, KeyOffWithoutVolumeEnvelopeCutsTheVolumeWhichAVolumeCanRestore) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {key_off_note, 0, 0, 0, 0};
  s.cell(2, 0) = {0, 0, 0x50, 0, 0};
  s.start();
  s.ticks(7);
  EXPECT_EQ(s.ch().volume, 0);
  EXPECT_EQ(s.ch().voice->volume, 0);
  s.ticks(6);
  EXPECT_EQ(s.ch().volume, 64);
  EXPECT_EQ(s.ch().voice->volume, 127);
}

TEST(Ft2Replay, ArpeggioFollowsTheTicksLeftAndStopsAtTheTopNote) {
  Song s;
  s.xm.speed = 8;
  s.cell(0, 0) = {49, 1, 0, 0x0, 0x47};
  s.cell(1, 0) = {95, 1, 0, 0x0, 0x35};  // real note 94: one semitone below the top
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().period_delta, 0);
  std::vector<int> semis;
  for (int t = 1; t < 8; ++t) {
    s.ticks(1);
    semis.push_back(s.ch().period_delta / 64);
  }
  EXPECT_EQ(semis, (std::vector<int>{4, 0, 7, 4, 0, 7, 4}));
  semis.clear();
  s.ticks(1);
  for (int t = 1; t < 4; ++t) {
    s.ticks(1);
    semis.push_back(s.ch().period_delta / 64);
  }
  EXPECT_EQ(semis, (std::vector<int>{1, 0, 1}));
}

TEST(Ft2Replay, E5xSetsTheFinetuneOfItsRowsNoteOnly) {
  Song s;
  s.xm.linear_frequencies = false;
  s.cell(0, 0) = {49, 1, 0, 0xE, 0x5F};
  s.cell(1, 0) = {49, 1, 0, 0, 0};
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().finetune, 112);
  EXPECT_EQ(s.ch().period, amiga_period(48, 112));
  EXPECT_NE(amiga_period(48, 112), amiga_period(48, 0));
  s.ticks(6);
  EXPECT_EQ(s.ch().period, amiga_period(48, 0));
  EXPECT_EQ(s.player->instruments[0].samples[0]->finetune, 0);
}

TEST(Ft2Replay, TremorCountsOnAndOffPhasesAcrossRowsAndRemembersItsParameter) {
  Song s;
  s.xm.speed = 12;
  s.cell(0, 0) = {49, 1, 0, 0x1D, 0x12};  // 2 ticks on, 3 off
  s.cell(1, 0) = {0, 0, 0, 0x1D, 0x00};
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().volume_delta, 0);
  std::string phases;
  for (int t = 1; t < 24; ++t) {
    s.ticks(1);
    if (t == 12) continue;  // the row tick
    phases += s.ch().volume_delta == 0 ? '+' : '-';
  }
  EXPECT_EQ(phases, "++---++---+"    // row 0, ticks 1-11
                    "+---++---++");  // row 1 goes on from there
}

TEST(Ft2Replay, GlobalVolumeReachesEveryChannelOnItsTick) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(0, 1) = {49, 1, 0, 0, 0};
  s.cell(1, 1) = {0, 0, 0, 0x10, 0x20};
  s.cell(2, 1) = {0, 0, 0, 0x11, 0x0F};  // slide down 15 per tick
  s.start();
  s.ticks(7);
  EXPECT_EQ(s.ch(0).voice->volume, 63);
  EXPECT_EQ(s.ch(1).voice->volume, 63);
  s.ticks(6);
  s.ticks(1);
  EXPECT_EQ(s.player->global_volume, 17);
  EXPECT_EQ(s.ch(0).voice->volume, 33);
  s.ticks(1);
  EXPECT_EQ(s.player->global_volume, 2);
  EXPECT_EQ(s.ch(0).voice->volume, 3);
}

TEST(Ft2Replay, WaveformsRestartWithANoteNotAnInstrumentUnlessTheControlSaysNot) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x4, 0x88};
  s.cell(1, 0) = {0, 1, 0, 0x4, 0x00};   // instrument alone
  s.cell(2, 0) = {49, 0, 0, 0x4, 0x00};  // note alone
  s.cell(3, 0) = {0, 0, 0, 0xE, 0x44};   // keep the position on notes
  s.cell(4, 0) = {49, 0, 0, 0x4, 0x00};
  s.start();
  s.ticks(7);
  EXPECT_EQ(s.ch().vibrato_position, -24);  // 8, 16, 24, -32, -24
  s.ticks(6);
  EXPECT_EQ(s.ch().vibrato_position, 0);
  s.ticks(12);
  EXPECT_EQ(s.ch().vibrato_position, -24);
}

TEST(Ft2Replay, TremoloLeavesNoResidueAndItsRampTurnsWithTheVibrato) {
  Song s;
  s.cell(0, 0) = {49, 1, 0x30, 0x4, 0x81};  // leaves the vibrato position at -24
  s.cell(0, 1) = {49, 1, 0x30, 0, 0};
  s.cell(1, 0) = s.cell(1, 1) = {0, 0, 0, 0xE, 0x71};
  s.cell(2, 0) = s.cell(2, 1) = {0, 0, 0, 0x7, 0x48};
  s.start();
  s.ticks(14);
  EXPECT_EQ(s.ch(0).volume_delta, 31);  // 255 * 8 / 64: the ramp's falling half
  EXPECT_EQ(s.ch(1).volume_delta, 0);
  s.ticks(4);
  EXPECT_EQ(s.ch(1).volume_delta, 16);  // the last tick: position 16 of the rising ramp
  s.ticks(1);
  EXPECT_EQ(s.ch(1).volume, 32);
  EXPECT_EQ(s.ch(1).volume_delta, 0);
  EXPECT_EQ(s.ch(1).voice->volume, 63);
}

TEST(Ft2Replay, VibratoBendsAmigaAndLinearPeriodsTheSameWayRound) {
  for (bool linear : {true, false}) {
    Song s;
    s.xm.linear_frequencies = linear;
    s.cell(0, 0) = {49, 1, 0, 0x4, 0x88};
    s.start();
    s.ticks(2);
    const std::uint64_t base = s.ch().voice->step;
    s.ticks(1);
    EXPECT_LT(s.ch().voice->step, base) << (linear ? "linear" : "Amiga");
  }
}

TEST(Ft2Replay, LxxMovesThePanningEnvelopeOnlyBesideAVolumeSustain) {
  Song s;
  XmInstrument& plain = s.xm.instruments[0];
  plain.volume_envelope.points = {{0, 64}, {100, 64}};
  plain.volume_envelope.type = 1;
  plain.panning_envelope.points = {{0, 0}, {64, 64}};
  plain.panning_envelope.type = 1;
  XmInstrument sustained = plain;
  sustained.volume_envelope.type = 3;
  sustained.volume_envelope.sustain = 1;
  s.xm.instruments.push_back(sustained);
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(0, 1) = {49, 2, 0, 0, 0};
  s.cell(1, 0) = s.cell(1, 1) = {0, 0, 0, 0x15, 0x20};
  s.start();
  s.ticks(7);
  EXPECT_EQ(s.ch(0).volume_envelope.tick, 32);
  EXPECT_EQ(s.ch(1).volume_envelope.tick, 32);
  EXPECT_EQ(s.ch(0).panning_envelope.value, 6);  // went on from the note
  EXPECT_EQ(s.ch(1).panning_envelope.value, 32);
}

TEST(Ft2Replay, InstrumentWithoutANoteResetsThePlayingSampleAndWaitsForTheNextNote) {
  Song s;
  s.xm.instruments.push_back(test_instrument(test_sample(500)));
  s.xm.instruments[1].samples[0].volume = 20;
  s.cell(0, 0) = {49, 1, 0x20, 0, 0};  // volume 16
  s.cell(1, 0) = {0, 2, 0, 0, 0};
  s.cell(2, 0) = {49, 0, 0, 0, 0};
  s.start();
  s.ticks(1);
  const Voice* v = s.ch().voice;
  const Sample* first = s.player->instruments[0].samples[0];
  s.ticks(6);
  EXPECT_EQ(s.ch().voice, v);  // no new note
  EXPECT_EQ(s.ch().voice->sample, first);
  EXPECT_EQ(s.ch().volume, 64);  // the playing sample's volume
  EXPECT_EQ(s.ch().instrument, 0);
  s.ticks(6);
  EXPECT_EQ(s.ch().instrument, 1);
  EXPECT_EQ(s.ch().voice->sample, s.player->instruments[1].samples[0]);
  EXPECT_EQ(s.ch().volume, 64);  // a note alone keeps the volume
}

TEST(Ft2Replay, AutoVibratoSweepHoldsOnceTheKeyIsOff) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.vibrato_depth = 8;
  ins.vibrato_rate = 64;
  ins.vibrato_sweep = 10;
  ins.volume_envelope.points = {{0, 64}, {100, 64}};
  ins.volume_envelope.type = 1;
  s.cell(0, 0) = {49, 1, 0, 0x14, 2};
  s.start();
  s.ticks(2);
  EXPECT_EQ(s.ch().auto_vibrato_sweep_count, 2);
  s.ticks(6);
  EXPECT_EQ(s.ch().key_off, 1);
  EXPECT_EQ(s.ch().auto_vibrato_sweep_count, 2);
}

TEST(Ft2Replay, NoteDelayPlaysInEveryRepetitionOfADelayedRow) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {61, 1, 0, 0xE, 0xD3};
  s.cell(1, 1) = {0, 0, 0, 0xE, 0xE1};  // the row twice
  s.start();
  s.ticks(9);
  const Voice* first = s.ch().voice;
  EXPECT_EQ(s.ch().note, 48);  // the delayed note has not come yet
  s.ticks(1);
  const Voice* delayed = s.ch().voice;
  EXPECT_NE(delayed, first);
  EXPECT_EQ(s.ch().note, 60);
  s.ticks(5);
  EXPECT_EQ(s.ch().voice, delayed);
  s.ticks(1);
  EXPECT_NE(s.ch().voice, delayed);  // again on tick 3 of the repetition
  EXPECT_EQ(s.player->row, 1);
}

TEST(Ft2Replay, MultiRetrigChangesTheVolumeOnlyWithAnEmptyVolumeColumn) {
  Song s;
  s.cell(0, 0) = {49, 1, 0x50, 0x1B, 0x12};  // every 2 ticks, volume - 1
  s.cell(1, 0) = {0, 0, 0, 0x1B, 0x00};      // the same again from memory
  s.start();
  s.ticks(1);
  const Voice* v = s.ch().voice;
  s.ticks(2);
  EXPECT_NE(s.ch().voice, v);  // retriggered on tick 2
  EXPECT_EQ(s.ch().volume, 64);
  s.ticks(3);
  EXPECT_EQ(s.ch().volume, 64);
  // The count runs on into the next row: due on its row tick (no note there), then on 2.
  s.ticks(1);
  EXPECT_EQ(s.ch().volume, 63);
  s.ticks(2);
  EXPECT_EQ(s.ch().volume, 62);
  s.ticks(2);
  EXPECT_EQ(s.ch().volume, 61);
}

#if KESTOL_HAVE_OPENMPT
double ft2_song_seconds(const XmModule& xm) {
  auto player = load_xm(xm, ReplayMode::ft2);
  OfflineRenderer r(*player);
  std::vector<std::int16_t> pcm(2 * chunk_frames);
  for (int i = 0; i < 20000 && !r.song_ended(); ++i) r.render_chunk(pcm.data(), true);
  EXPECT_TRUE(r.song_ended());
  return static_cast<double>(r.song_end_frame()) / mix_rate;
}

// Songs whose length hangs on how pattern loops, breaks and jumps meet.
std::vector<std::pair<const char*, XmModule>> loop_songs() {
  std::vector<std::pair<const char*, XmModule>> songs;
  auto song = [](int patterns, int rows) {
    XmModule m = test_module(2, rows);
    m.patterns.resize(static_cast<std::size_t>(patterns));
    for (auto& p : m.patterns) p.rows = rows;
    m.orders.clear();
    for (int i = 0; i < patterns; ++i) m.orders.push_back(static_cast<std::uint8_t>(i));
    return m;
  };
  {
    XmModule m = song(2, 8);
    m.patterns[0].at(2, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(4, 0, 2) = {0, 0, 0, 0xE, 0x62};
    songs.push_back({"loop row carried into the next pattern", m});
  }
  {
    XmModule m = song(3, 8);
    m.patterns[0].at(3, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(5, 0, 2) = {0, 0, 0, 0xE, 0x61};
    m.patterns[0].at(6, 1, 2) = {0, 0, 0, 0xD, 0x04};
    songs.push_back({"loop then break", m});
  }
  {
    XmModule m = song(2, 8);
    m.patterns[0].at(1, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(2, 1, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(3, 1, 2) = {0, 0, 0, 0xE, 0x62};
    m.patterns[0].at(5, 0, 2) = {0, 0, 0, 0xE, 0x61};
    songs.push_back({"loops in two channels", m});
  }
  {
    XmModule m = song(3, 8);
    m.patterns[0].at(2, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(7, 0, 2) = {0, 0, 0, 0xE, 0x61};  // on the last row
    m.patterns[1].at(3, 0, 2) = {0, 0, 0, 0xB, 0x02};   // jump out from the carried row on
    songs.push_back({"loop on the last row, then a jump", m});
  }
  {
    XmModule m = song(2, 8);
    m.patterns[0].at(1, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(3, 0, 2) = {0, 0, 0, 0xE, 0x60};  // a second start moves the loop's start
    m.patterns[0].at(4, 0, 2) = {0, 0, 0, 0xE, 0x62};
    songs.push_back({"loop start set twice in one channel", m});
  }
  {
    XmModule m = song(3, 8);
    m.patterns[0].at(2, 0, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(4, 0, 2) = {0, 0, 0, 0xE, 0x63};
    m.patterns[0].at(3, 1, 2) = {0, 0, 0, 0xB, 0x02};  // jumps out of the loop's body
    songs.push_back({"jump out of a running loop", m});
  }
  return songs;
}
#endif

#if KESTOL_HAVE_OPENMPT
constexpr int tick_frames = 882;  // 125 BPM at 44.1 kHz

// The module's bytes as FastTracker 2 would have saved them (libopenmpt then plays it with
// every FastTracker 2 behaviour it knows).
std::vector<std::uint8_t> as_ft2_file(const XmModule& xm) {
  std::vector<std::uint8_t> bytes = xm_write(xm);
  const char name[] = "FastTracker v2.00   ";
  std::copy(name, name + 20, bytes.begin() + 38);
  return bytes;
}

// Per tick, the loudest sample of either side in the tick's last 160 frames (past any
// volume ramp): a voice's level when it plays a square wave.
std::vector<int> tick_peaks(const std::vector<std::int16_t>& pcm, int ticks) {
  std::vector<int> peaks;
  for (int t = 0; t < ticks; ++t) {
    int peak = 0;
    for (int i = ((t + 1) * tick_frames - 160) * 2; i < (t + 1) * tick_frames * 2 && i < static_cast<int>(pcm.size()); ++i)
      peak = std::max(peak, std::abs(static_cast<int>(pcm[static_cast<std::size_t>(i)])));
    peaks.push_back(peak);
  }
  return peaks;
}

std::vector<std::int16_t> openmpt_render(const XmModule& xm, int frames) {
  const std::vector<std::uint8_t> bytes = as_ft2_file(xm);
  openmpt_module* om = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                          nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(om, nullptr);
  std::vector<std::int16_t> pcm(static_cast<std::size_t>(frames) * 2);
  if (!om) return pcm;
  openmpt_module_set_render_param(om, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 1);
  openmpt_module_set_render_param(om, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, 0);
  for (int done = 0; done < frames;) {
    const std::size_t got = openmpt_module_read_interleaved_stereo(om, mix_rate, static_cast<std::size_t>(frames - done),
                                                                   pcm.data() + 2 * done);
    if (got == 0) break;
    done += static_cast<int>(got);
  }
  openmpt_module_destroy(om);
  return pcm;
}

// Levels per tick, in ft2 mode and from libopenmpt, each in 0..100 of its own loudest tick.
std::pair<std::vector<int>, std::vector<int>> tick_levels(const XmModule& xm, int ticks) {
  auto player = load_xm(xm, ReplayMode::ft2);
  const auto ours = tick_peaks(render_module(*player, static_cast<double>(ticks) * tick_frames / mix_rate, false), ticks);
  const auto theirs = tick_peaks(openmpt_render(xm, ticks * tick_frames), ticks);
  auto scale = [](std::vector<int> v) {
    const int top = std::max(1, *std::max_element(v.begin(), v.end()));
    for (int& x : v) x = x * 100 / top;
    return v;
  };
  return {scale(ours), scale(theirs)};
}

// Every tick's level within `slack` of libopenmpt's.
void expect_levels_like_libopenmpt(const XmModule& xm, int ticks, int slack = 6) {
  const auto [ours, theirs] = tick_levels(xm, ticks);
  std::string listed = "\n  ours  ", their_list = "\n  libopenmpt ";
  for (int t = 0; t < ticks; ++t) {
    listed += std::to_string(ours[static_cast<std::size_t>(t)]) + " ";
    their_list += std::to_string(theirs[static_cast<std::size_t>(t)]) + " ";
  }
  for (int t = 0; t < ticks; ++t)
    if (std::abs(ours[static_cast<std::size_t>(t)] - theirs[static_cast<std::size_t>(t)]) > slack) {
      ADD_FAILURE() << "tick " << t << listed << their_list;
      return;
    }
}

// A square wave of period 32, looped: its level is the voice's.
XmSample square_sample() {
  XmSample s = test_sample(3200);
  for (std::size_t i = 0; i < s.data.size(); ++i) s.data[i] = (i / 16) % 2 ? -16000 : 16000;
  s.loop = 1;
  s.loop_start = 0;
  s.loop_length = 3200;
  return s;
}

// A square wave that fades from full to nothing over its 4800 samples (about 28 ticks at
// C-4), not looped: each restart of the note shows as a jump back up.
XmSample fading_sample() {
  XmSample s = test_sample(4800);
  for (std::size_t i = 0; i < s.data.size(); ++i) {
    const int level = static_cast<int>(30000 - i * 30000 / s.data.size());
    s.data[i] = static_cast<std::int16_t>((i / 16) % 2 ? -level : level);
  }
  return s;
}

// Frequency from the crossings of zero of a square wave of period 32 in one channel.
double square_frequency(const std::vector<std::int16_t>& pcm, int from_frame, int frames) {
  int crossings = 0;
  for (int i = from_frame + 1; i < from_frame + frames; ++i)
    if ((pcm[2 * static_cast<std::size_t>(i - 1)] >= 0) != (pcm[2 * static_cast<std::size_t>(i)] >= 0)) ++crossings;
  return crossings / 2.0 * mix_rate / frames * 32;
}
#endif

TEST(Ft2Replay, PatternLoopSongLengthsAgreeWithLibopenmpt) {
#if KESTOL_HAVE_OPENMPT
  for (const auto& [name, xm] : loop_songs()) {
    SCOPED_TRACE(name);
    const std::vector<std::uint8_t> bytes = xm_write(xm);
    openmpt_module* om = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(om, nullptr);
    const double theirs = openmpt_module_get_duration_seconds(om);
    openmpt_module_destroy(om);
    EXPECT_NEAR(ft2_song_seconds(xm), theirs, 0.005);
  }
#else
  GTEST_SKIP() << "libopenmpt is not installed";
#endif
}

// A plain model of FastTracker 2's period-to-frequency conversion, for every 16-bit period.
double reference_ft2_frequency(bool linear, long long period) {
  const long long p = period & 0xFFFF;
  if (p == 0) return 0;
  if (!linear) return static_cast<double>(14317056 / p);
  // The octave count: (9983 - p) / 768 with 9983 - p taken modulo 2^32.
  const long long span = 9983 - p >= 0 ? 9983 - p : (1LL << 32) + 9983 - p;
  const long long octave = (((14 - span / 768) % 32) + 32) % 32;
  return 8363.0 * std::pow(2.0, 8.0 - static_cast<double>(octave) - static_cast<double>(p % 768) / 768.0);
}

TEST(Ft2Replay, FrequencyWrapsAroundPastTwelveOctavesAsAFastTracker2Period) {
  for (bool linear : {true, false}) {
    for (long long p = -70000; p <= 140000; ++p) {
      const double want = reference_ft2_frequency(linear, p);
      const int got = ft2_frequency(linear, p);
      if (std::abs(got - want) > 1.0 + want * 1e-9) {
        ADD_FAILURE() << (linear ? "linear" : "Amiga") << " period " << p << ": " << got << " vs " << want;
        break;
      }
    }
  }
  // Past 9983 the pitch jumps: 10000 is almost still, 15000 far above hearing, 22000 audible.
  EXPECT_LT(ft2_frequency(true, 10000), 1);
  EXPECT_GT(ft2_frequency(true, 15000), 1000000);
  EXPECT_EQ(ft2_frequency(true, 22000), 2672);

  // Slid there by portamento down, the voice plays it.
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = s.cell(2, 0) = s.cell(3, 0) = {0, 0, 0, 0x2, 0xFF};
  s.cell(4, 0) = {0, 0, 0, 0x2, 0x68};
  s.cell(5, 0) = {0, 0, 0, 0xE, 0x23};  // 4608 + 4 x (3 x 5 x 255 + 5 x 104 + 3) = 22000
  s.start();
  s.ticks(37);
  EXPECT_EQ(s.ch().period, 22000);
  EXPECT_EQ(s.ch().voice->step, (static_cast<std::uint64_t>(2672) << 32) / mix_rate);
  // The classic replay plays the lowest rate it has there.
  s.start(ReplayMode::classic);
  s.ticks(37);
  EXPECT_EQ(s.ch().voice->step, (static_cast<std::uint64_t>(100) << 32) / mix_rate);
}

TEST(Ft2Replay, PortamentoKeepsThePeriodWithinFastTracker2sRange) {
  Song s;
  s.xm.speed = 31;
  s.cell(0, 0) = {96, 1, 0, 0x1, 0xFF};  // B-7: period 1600, 30 ticks of 1020
  s.cell(0, 1) = {1, 1, 0, 0x2, 0xFF};   // C-0: period 7680
  s.cell(1, 0) = {0, 0, 0, 0xE, 0x1F};
  s.cell(1, 1) = {0, 0, 0, 0xE, 0x2F};
  s.cell(2, 0) = {0, 0, 0, 0x21, 0x1F};
  s.cell(2, 1) = {0, 0, 0, 0x21, 0x2F};
  s.start();
  for (int row = 0; row < 3; ++row) {
    s.ticks(31);
    EXPECT_EQ(s.ch(0).period, 1) << row;
    EXPECT_EQ(s.ch(1).period, 31999) << row;
  }
}

TEST(Ft2Replay, E90RetriggersOnItsRowTickAndE9xRestartsTheEnvelopes) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.volume_envelope.points = {{0, 16}, {6, 64}};
  ins.volume_envelope.sustain = 1;
  ins.volume_envelope.type = 3;
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {0, 0, 0, 0xE, 0x94};
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x90};  // no note on the row
  s.cell(0, 1) = {49, 1, 0, 0x1, 0x10};
  s.cell(1, 1) = {0, 0, 0, 0xE, 0x90};  // back to the note's own period
  s.start();
  s.ticks(10);
  EXPECT_EQ(s.ch().volume_envelope.value, 64);
  const Voice* before = s.ch().voice;
  s.ticks(1);  // tick 4 of row 1
  EXPECT_NE(s.ch().voice, before);
  EXPECT_EQ(s.ch().voice->position >> 32, 0u);
  EXPECT_EQ(s.ch().volume_envelope.value, 16);
  before = s.ch().voice;
  s.ticks(1);
  EXPECT_EQ(s.ch().voice, before);  // not again on tick 5
  s.ticks(1);  // row 2's row tick
  EXPECT_NE(s.ch().voice, before);
  EXPECT_EQ(s.ch().volume_envelope.value, 16);
  EXPECT_EQ(s.ch(1).period, linear_period(48));
  before = s.ch().voice;
  s.ticks(5);
  EXPECT_EQ(s.ch().voice, before);  // E90: the row tick only
  EXPECT_EQ(s.ch().volume_envelope.value, 56);
}

TEST(Ft2Replay, MultiRetrigCountsAcrossRowsAndRetriggersOnARowTickWithoutANote) {
  Song s;
  s.cell(0, 0) = {49, 1, 0, 0x1B, 0x03};
  s.cell(1, 0) = {0, 0, 0, 0x1B, 0x00};
  s.cell(2, 0) = {0, 1, 0, 0x1B, 0x00};  // an instrument number restarts the count
  s.cell(3, 0) = {49, 0, 0, 0x1B, 0x00};  // a note takes the row tick's retrigger
  s.start();
  std::vector<int> retriggered;
  const Voice* v = nullptr;
  for (int t = 0; t < 24; ++t) {
    s.ticks(1);
    if (t > 0 && s.ch().voice != v) retriggered.push_back(t);
    v = s.ch().voice;
  }
  EXPECT_EQ(retriggered, (std::vector<int>{2, 5, 8, 11, 14, 17, 18, 20, 23}));
}

TEST(Ft2Replay, KeyOffCutsAVolumeEnvelopeFreeNoteUnlessTheVolumeColumnSetsOne) {
  Song s;
  s.xm.instruments[0].samples[0].volume = 32;
  s.xm.instruments[0].fadeout = 2000;
  s.cell(0, 0) = {49, 1, 0x50, 0, 0};
  s.cell(1, 0) = {key_off_note, 1, 0, 0, 0};  // the instrument's volume, then the cut
  s.cell(2, 0) = {key_off_note, 0, 0x40, 0, 0};
  s.start();
  s.ticks(7);
  EXPECT_EQ(s.ch().volume, 0);
  EXPECT_EQ(s.ch().key_off, 1);
  s.ticks(6);
  EXPECT_EQ(s.ch().volume, 48);
  s.ticks(5);
  // Without a volume envelope nothing fades.
  EXPECT_EQ(s.ch().fadeout_volume, 65536);
  EXPECT_EQ(s.ch().voice->volume, 95);
}

TEST(Ft2Replay, KeyOffReleasesTheSustainAndFadesFromItsOwnTick) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.volume_envelope.points = {{0, 64}, {2, 64}, {10, 0}};
  ins.volume_envelope.sustain = 1;
  ins.volume_envelope.type = 3;
  ins.fadeout = 2000;  // 4000 a tick once loaded
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(1, 0) = {key_off_note, 0, 0, 0, 0};
  s.cell(0, 1) = {49, 1, 0, 0x14, 3};
  s.start();
  s.ticks(3);
  EXPECT_EQ(s.ch(1).fadeout_volume, 65536);
  s.ticks(1);  // tick 3: K03
  EXPECT_EQ(s.ch(1).key_off, 1);
  EXPECT_EQ(s.ch(1).fadeout_volume, 65536 - 4000);
  s.ticks(1);
  EXPECT_EQ(s.ch(1).volume_envelope.value, 56);
  s.ticks(2);  // row 1's row tick
  EXPECT_EQ(s.ch(0).fadeout_volume, 65536 - 4000);
  EXPECT_EQ(s.ch(0).volume_envelope.value, 64);
  s.ticks(1);
  EXPECT_EQ(s.ch(0).volume_envelope.value, 56);
}

TEST(Ft2Replay, InstrumentNumberAfterAKeyOffRestartsTheEnvelopeReleasedAndUnfaded) {
  Song s;
  XmInstrument& ins = s.xm.instruments[0];
  ins.volume_envelope.points = {{0, 64}, {2, 64}, {10, 0}};
  ins.volume_envelope.sustain = 1;
  ins.volume_envelope.type = 3;
  ins.fadeout = 2000;
  s.cell(0, 0) = {49, 1, 0x20, 0, 0};
  s.cell(1, 0) = {key_off_note, 0, 0, 0, 0};
  s.cell(2, 0) = {0, 1, 0, 0, 0};
  s.cell(3, 0) = {key_off_note, 0, 0, 0, 0};
  s.start();
  s.ticks(12);
  EXPECT_LT(s.ch().fadeout_volume, 65536);
  s.ticks(4);  // row 2's row tick and three more
  EXPECT_EQ(s.ch().volume, 64);
  EXPECT_EQ(s.ch().key_off, 1);
  EXPECT_EQ(s.ch().fadeout_volume, 65536);
  EXPECT_EQ(s.ch().volume_envelope.value, 56);  // through the sustain point, not held there
  s.ticks(3);  // a key-off fades again
  EXPECT_EQ(s.ch().fadeout_volume, 65536 - 4000);
}

TEST(Ft2Replay, PanningEnvelopeWaitingAtItsSustainStaysThereAfterTheKeyOff) {
  Song s;
  XmInstrument& held = s.xm.instruments[0];
  held.volume_envelope.points = {{0, 64}, {40, 64}};
  held.volume_envelope.type = 1;
  held.panning_envelope.points = {{0, 32}, {2, 60}, {6, 0}};
  held.panning_envelope.sustain = 1;
  held.panning_envelope.type = 3;
  XmInstrument reaching = held;
  reaching.panning_envelope.points = {{0, 32}, {6, 60}, {10, 0}};  // reaches it on the key-off's tick
  s.xm.instruments.push_back(reaching);
  s.cell(0, 0) = {49, 1, 0, 0, 0};
  s.cell(0, 1) = {49, 2, 0, 0, 0};
  s.cell(1, 0) = s.cell(1, 1) = {key_off_note, 0, 0, 0, 0};
  s.start();
  s.ticks(6);
  EXPECT_EQ(s.ch(0).panning_envelope.value, 60);
  s.ticks(1);
  EXPECT_EQ(s.ch(0).key_off, 1);
  EXPECT_EQ(s.ch(1).panning_envelope.value, 60);
  s.ticks(1);
  EXPECT_EQ(s.ch(1).panning_envelope.value, 45);  // reached on the key-off's tick: released
  s.ticks(10);
  EXPECT_EQ(s.ch(0).panning_envelope.value, 60);
  EXPECT_EQ(s.ch(1).panning_envelope.value, 0);
}

TEST(Ft2Replay, WaveformControlKeepsTheTremoloPositionOnNotes) {
  Song s;
  s.cell(0, 0) = {49, 1, 0x20, 0x7, 0x81};
  s.cell(1, 0) = {49, 0, 0, 0x7, 0x00};   // restarts the tremolo
  s.cell(2, 0) = {0, 0, 0, 0xE, 0x74};    // keep it from now on
  s.cell(3, 0) = {49, 0, 0, 0x7, 0x00};
  s.start();
  s.ticks(6);
  EXPECT_EQ(s.ch().tremolo_position, -24);  // 8, 16, 24, -32, -24
  s.ticks(1);
  EXPECT_EQ(s.ch().tremolo_position, 0);
  s.ticks(5 + 6 + 1);
  EXPECT_EQ(s.ch().tremolo_position, -24);  // kept through row 3's note
  s.ticks(5);
  EXPECT_EQ(s.ch().tremolo_position, 16);
}

#if KESTOL_HAVE_OPENMPT
// The levels of these songs, tick by tick, against libopenmpt's: key-offs with and without
// envelopes, sustain release, fadeout, delayed key-off, retriggers.
TEST(Ft2Replay, EnvelopeFadeoutAndRetriggerLevelsAgreeWithLibopenmpt) {
  auto song = [](XmSample sample) {
    XmModule m = test_module(2, 64);
    m.instruments[0] = test_instrument(std::move(sample));
    return m;
  };
  auto sustain = [](XmInstrument& ins, std::vector<std::array<std::uint16_t, 2>> points, int fadeout = 0) {
    ins.volume_envelope.points = std::move(points);
    ins.volume_envelope.sustain = 1;
    ins.volume_envelope.type = 3;
    ins.fadeout = static_cast<std::uint16_t>(fadeout);
  };
  {
    SCOPED_TRACE("key-off releasing a sustain, with fadeout");
    XmModule m = song(square_sample());
    sustain(m.instruments[0], {{0, 64}, {2, 64}, {10, 0}}, 2000);
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0, 2) = {key_off_note, 0, 0, 0, 0};
    expect_levels_like_libopenmpt(m, 18);
  }
  {
    SCOPED_TRACE("delayed key-off");
    XmModule m = song(square_sample());
    sustain(m.instruments[0], {{0, 64}, {4, 64}, {8, 0}});
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0, 2) = {key_off_note, 0, 0, 0xE, 0xD2};
    expect_levels_like_libopenmpt(m, 18);
  }
  {
    SCOPED_TRACE("key-offs without a volume envelope");
    XmModule m = song(square_sample());
    m.instruments[0].samples[0].volume = 32;
    m.instruments[0].fadeout = 2000;
    m.patterns[0].at(0, 0, 2) = {49, 1, 0x50, 0, 0};
    m.patterns[0].at(1, 0, 2) = {key_off_note, 1, 0, 0, 0};
    m.patterns[0].at(2, 0, 2) = {key_off_note, 0, 0x40, 0, 0};
    m.patterns[0].at(4, 0, 2) = {key_off_note, 0, 0, 0, 0};
    expect_levels_like_libopenmpt(m, 30);
  }
  {
    SCOPED_TRACE("E9x restarting the envelope");
    XmModule m = song(fading_sample());
    sustain(m.instruments[0], {{0, 16}, {6, 64}});
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0, 2) = {0, 0, 0, 0xE, 0x94};
    expect_levels_like_libopenmpt(m, 12);
  }
  {
    SCOPED_TRACE("note delay in a delayed row (the first repetition: libopenmpt plays no other)");
    XmModule m = song(fading_sample());
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0, 2) = {49, 1, 0x30, 0xE, 0xD3};
    m.patterns[0].at(1, 1, 2) = {0, 0, 0, 0xE, 0xE1};
    expect_levels_like_libopenmpt(m, 15);
  }
  {
    SCOPED_TRACE("instrument number after a key-off, and K00 beside a note");
    XmModule m = song(square_sample());
    sustain(m.instruments[0], {{0, 64}, {2, 64}, {10, 0}}, 2000);
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0, 2) = {key_off_note, 0, 0, 0, 0};
    m.patterns[0].at(2, 0, 2) = {0, 1, 0x30, 0, 0};
    m.patterns[0].at(4, 0, 2) = {49, 1, 0, 0x14, 0x00};
    expect_levels_like_libopenmpt(m, 36);
  }
  {
    SCOPED_TRACE("another instrument without a note");
    XmModule m = song(square_sample());
    m.instruments.push_back(test_instrument(fading_sample()));
    m.instruments[1].samples[0].volume = 16;
    m.patterns[0].at(0, 0, 2) = {49, 1, 0x20, 0, 0};
    m.patterns[0].at(1, 0, 2) = {0, 2, 0, 0, 0};
    m.patterns[0].at(2, 0, 2) = {49, 0, 0, 0, 0};
    expect_levels_like_libopenmpt(m, 24);
  }
  {
    SCOPED_TRACE("tremor");
    XmModule m = song(square_sample());
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0x1D, 0x12};
    m.patterns[0].at(1, 0, 2) = {0, 0, 0, 0x1D, 0x00};
    m.patterns[0].at(2, 0, 2) = {0, 0, 0x30, 0x1D, 0x00};  // muted on the row tick all the same
    expect_levels_like_libopenmpt(m, 24);
  }
  {
    SCOPED_TRACE("Rxy across rows, with volume change");
    XmModule m = song(fading_sample());
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0x1B, 0x03};
    m.patterns[0].at(1, 0, 2) = {0, 0, 0, 0x1B, 0x00};
    m.patterns[0].at(2, 0, 2) = {0, 1, 0, 0x1B, 0x83};
    expect_levels_like_libopenmpt(m, 18);
  }
}

TEST(Ft2Replay, FrequencyAgreesWithLibopenmptUpToTheWrap) {
  for (int target : {4608, 5000, 7000, 9000}) {
    SCOPED_TRACE(target);
    XmModule m = test_module(2, 64);
    m.instruments[0] = test_instrument(square_sample());
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    int units = (target - 4608) / 4;
    int row = 1;
    for (; units >= 5; ++row) {
      const int per = std::min(255, units / 5);
      m.patterns[0].at(row, 0, 2) = {0, 0, 0, 0x2, static_cast<std::uint8_t>(per)};
      units -= per * 5;
    }
    if (units) m.patterns[0].at(row++, 0, 2) = {0, 0, 0, 0xE, static_cast<std::uint8_t>(0x20 | units)};
    auto player = load_xm(m, ReplayMode::ft2);
    const int from = (row + 1) * 6 * tick_frames, frames = 8 * 6 * tick_frames;
    const auto ours = render_module(*player, static_cast<double>(from + frames) / mix_rate, false);
    const auto theirs = openmpt_render(m, from + frames);
    const double f = ft2_frequency(true, target);
    EXPECT_NEAR(square_frequency(ours, from, frames), f, f * 0.02 + 20);
    EXPECT_NEAR(square_frequency(theirs, from, frames), f, f * 0.02 + 20);
  }
}
#endif

}  // namespace
