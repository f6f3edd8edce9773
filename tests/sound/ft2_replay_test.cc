// The FastTracker 2 replay mode, behaviour by behaviour, in small songs.
#include <gtest/gtest.h>

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
    player = load_xm(xm);
    EXPECT_TRUE(player);
    player_set_replay_mode(*player, mode);
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
  s.cell(1, 0) = {49, 1, 0, 0x9, 0x04};  // 1024 >= 1000
  s.cell(2, 0) = {0, 0, 0, 0x9, 0x02};   // no note: memory only
  s.cell(3, 0) = {49, 1, 0, 0x9, 0x00};  // 512 from the memory
  s.cell(4, 0) = {49, 2, 0, 0x9, 0x00};  // 512 past the loop's end at 300
  s.start();
  s.ticks(1);
  EXPECT_EQ(s.ch().voice->position >> 32, 768u);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
  EXPECT_EQ(s.ch().offset_memory, 2);
  s.ticks(6);
  ASSERT_NE(s.ch().voice->sample, nullptr);
  EXPECT_EQ(s.ch().voice->position >> 32, 512u);
  s.ticks(6);
  EXPECT_EQ(s.ch().voice->sample, nullptr);
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
  s.ticks(3);
  EXPECT_EQ(s.ch().volume, 63);
  s.ticks(2);
  EXPECT_EQ(s.ch().volume, 62);
}

#if KESTOL_HAVE_OPENMPT
double ft2_song_seconds(const XmModule& xm) {
  auto player = load_xm(xm);
  player_set_replay_mode(*player, ReplayMode::ft2);
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
  return songs;
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

}  // namespace
