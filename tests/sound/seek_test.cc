// Seeking: running the song without mixing must leave the player exactly where mixing
// leaves it, so what is rendered after a seek equals the full render from there on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "sound/render.h"
#include "sound/song_position.h"
#include "tests/support/xm_fixtures.h"

namespace {

XmSample looped(int n, std::uint8_t type, int start, int length) {
  XmSample s = test_sample(n);
  s.loop = type;
  s.loop_start = static_cast<std::uint32_t>(start);
  s.loop_length = static_cast<std::uint32_t>(length);
  return s;
}

// Instruments with what moves between ticks: loops both ways, envelopes with sustain and
// loop, fadeout after key-off, auto-vibrato, panning envelopes.
void add_instruments(XmModule& m) {
  XmInstrument a = test_instrument(looped(3000, 1, 500, 2000));
  a.volume_envelope.points = {{0, 64}, {6, 20}, {12, 48}, {30, 10}};
  a.volume_envelope.sustain = 2;
  a.volume_envelope.loop_start = 1;
  a.volume_envelope.loop_end = 2;
  a.volume_envelope.type = 1 | 2 | 4;
  a.fadeout = 900;
  a.vibrato_type = 0;
  a.vibrato_sweep = 10;
  a.vibrato_depth = 6;
  a.vibrato_rate = 20;
  XmInstrument b = test_instrument(looped(1500, 2, 300, 700));
  b.panning_envelope.points = {{0, 0}, {8, 64}, {16, 10}};
  b.panning_envelope.sustain = 1;
  b.panning_envelope.type = 1 | 2;
  XmInstrument c = test_instrument(test_sample(4000));  // one-shot: voices end
  m.instruments = {a, b, c};
}

// A song of random notes and effects over fixed flow: a pattern loop, a jump, a break, a
// pattern delay, speed and tempo changes.
XmModule flow_song(std::uint32_t seed) {
  std::mt19937 rng(seed);
  XmModule m;
  m.channels = 6;
  m.speed = 5;
  m.bpm = 131;
  m.orders = {0, 1, 2, 1, 3};
  m.patterns.resize(4);
  add_instruments(m);
  const std::uint8_t effects[] = {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x8, 0xA, 0x9, 0x10, 0x11, 0x19, 0x1B, 0x1D};
  for (int p = 0; p < 4; ++p) {
    XmPattern& pat = m.patterns[p];
    pat.rows = 24 + 8 * p;
    for (int r = 0; r < pat.rows; ++r)
      for (int ch = 0; ch < m.channels; ++ch) {
        if (rng() % 3 != 0) continue;
        XmCell cell;
        const int kind = static_cast<int>(rng() % 10);
        if (kind < 6) cell.note = static_cast<std::uint8_t>(25 + rng() % 50);
        if (kind == 6) cell.note = 97;  // key off
        if (cell.note && cell.note != 97) cell.instrument = static_cast<std::uint8_t>(1 + rng() % 3);
        if (rng() % 2) cell.volume = static_cast<std::uint8_t>(0x10 + rng() % 0x41);
        if (rng() % 2) {
          cell.effect = effects[rng() % std::size(effects)];
          cell.param = static_cast<std::uint8_t>(rng() & 0xFF);
          if (cell.effect == 0x9) cell.param &= 0x0F;
          if (cell.effect == 0x1B) cell.param = static_cast<std::uint8_t>(rng() % 0x40 + 0x10);
        }
        pat.at(r, ch, m.channels) = cell;
      }
  }
  // Flow, on the last channel so nothing random overrides it.
  const int f = m.channels - 1;
  m.patterns[0].at(4, f, m.channels) = {0, 0, 0, 0xE, 0x60};
  m.patterns[0].at(9, f, m.channels) = {0, 0, 0, 0xE, 0x62};    // rows 4..9 three times
  m.patterns[0].at(12, f, m.channels) = {0, 0, 0, 0xF, 0x7A};   // tempo
  m.patterns[1].at(10, f, m.channels) = {0, 0, 0, 0xE, 0xE2};   // pattern delay
  m.patterns[1].at(20, f, m.channels) = {0, 0, 0, 0xF, 0x03};   // speed
  m.patterns[2].at(15, f, m.channels) = {0, 0, 0, 0xD, 0x08};   // break to row 8
  m.patterns[1].at(m.patterns[1].rows - 1, f, m.channels) = {0, 0, 0, 0xB, 0x02};  // jump
  return m;
}

// The first frame of every row's first tick in a render from the start (to the song's
// end, at most limit frames), in the output's chunks, found by mixing for real.
std::map<std::uint16_t, std::uint64_t> row_starts(const XmModule& song, std::uint64_t limit,
                                                   ReplayMode mode = ReplayMode::classic) {
  auto player = load_xm(song, mode);
  player_start(*player);
  struct State {
    ModulePlayer* m;
    std::uint64_t base;
    std::map<std::uint16_t, std::uint64_t> first;
    std::set<std::uint16_t> seen;  // since the last pattern loop went back
    bool ended;
  } st{player.get(), 0, {}, {}, false};
  auto gate = [](void* c, int mixed) {
    auto& s = *static_cast<State*>(c);
    std::uint16_t p;
    if (upcoming_row(*s.m, p)) {
      // A pattern loop plays its rows again on purpose.
      if (s.m->pattern_loop_taken && s.m->next_order < 0)
        s.seen.erase(s.seen.lower_bound(p), s.seen.lower_bound(static_cast<std::uint16_t>((p | 0xFF) + 1)));
      if (!s.seen.insert(p).second) {
        s.ended = true;
        return false;
      }
      s.first.emplace(p, s.base + static_cast<std::uint64_t>(mixed));
    }
    return true;
  };
  std::vector<float> span(2 * chunk_frames);
  std::int16_t pcm[2 * chunk_frames];
  while (!st.ended && st.base < limit) st.base += mix_frames(*player, span.data(), pcm, chunk_frames, gate, &st);
  return st.first;
}

// What r renders from where it stands to the song's end (at most limit frames from the start).
std::vector<std::int16_t> render_rest(OfflineRenderer& r, std::uint64_t limit) {
  std::vector<std::int16_t> out;
  std::int16_t chunk[2 * chunk_frames];
  while (!r.finished() && r.frames_rendered() < limit) {
    const int n = r.render_chunk(chunk, true);
    out.insert(out.end(), chunk, chunk + 2 * n);
  }
  return out;
}

std::vector<std::int16_t> render_all(const XmModule& song, std::uint64_t limit,
                                     ReplayMode mode = ReplayMode::classic) {
  auto player = load_xm(song, mode);
  OfflineRenderer r(*player);
  return render_rest(r, limit);
}

void expect_tail_equal(const std::vector<std::int16_t>& full, std::uint64_t from,
                       const std::vector<std::int16_t>& tail) {
  ASSERT_EQ(full.size() - 2 * from, tail.size());
  const auto mismatch = std::mismatch(tail.begin(), tail.end(), full.begin() + 2 * from);
  EXPECT_TRUE(mismatch.first == tail.end()) << "first difference at frame "
                                            << from + (mismatch.first - tail.begin()) / 2;
}

constexpr std::uint64_t limit = 90ull * mix_rate;

// Seeks to each frame, from a newly loaded song: what is rendered from there is the tail of
// the full render.
void expect_seeks_land(const XmModule& song, ReplayMode mode, const std::vector<std::int16_t>& full,
                       const std::vector<std::uint64_t>& frames) {
  for (const std::uint64_t frame : frames) {
    SCOPED_TRACE(frame);
    auto player = load_xm(song, mode);
    OfflineRenderer r(*player);
    r.seek_frame(frame);
    EXPECT_EQ(r.frames_rendered(), frame);
    expect_tail_equal(full, frame, render_rest(r, limit));
  }
}

// A song of one pattern of rows rows, for a test to fill in.
XmModule one_pattern_song(int channels, int rows, std::uint16_t speed = 6, std::uint16_t bpm = 125) {
  XmModule song;
  song.channels = channels;
  song.speed = speed;
  song.bpm = bpm;
  song.orders = {0};
  song.patterns.resize(1);
  song.patterns[0].rows = rows;
  return song;
}

// In both replays: each follows its own loops, retriggers and envelopes while seeking.
TEST(Seek, RenderFromAnyRowEqualsTheFullRenderFromThere) {
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2})
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << (mode == ReplayMode::ft2 ? ", ft2" : ", classic"));
    const XmModule song = flow_song(seed);
    const auto full = render_all(song, limit, mode);
    const auto starts = row_starts(song, limit, mode);
    ASSERT_GT(starts.size(), 60u);
    EXPECT_EQ(starts.count(0x0300), 0u) << "order 3 is jumped over";
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> targets;
    for (const auto& [pos, frame] : starts)
      if ((pos & 0xFF) == 0 || rng() % 8 == 0) targets.push_back(pos);
    for (std::uint16_t target : targets) {
      SCOPED_TRACE(testing::Message() << std::hex << target);
      auto player = load_xm(song, mode);
      OfflineRenderer r(*player);
      ASSERT_TRUE(r.seek_row(target, limit));
      EXPECT_EQ(r.frames_rendered(), starts.at(target));
      EXPECT_EQ(player->samples_left_in_tick, 0);
      const std::uint64_t from = r.frames_rendered();
      expect_tail_equal(full, from, render_rest(r, limit));
      EXPECT_TRUE(r.song_ended());
    }
  }
}

// Sliding a note's period through the whole range: in the ft2 replay its pitch wraps around
// past twelve octaves, down to no movement at all, and up again; seeking follows it.
TEST(Seek, FollowsAPitchWrappingAroundAtTheTopOfThePeriodRange) {
  XmModule song;
  song.channels = 2;
  add_instruments(song);
  XmPattern pat;
  pat.rows = 64;
  pat.at(0, 0, 2) = {49, 1, 0, 0, 0};
  pat.at(0, 1, 2) = {49, 2, 0, 0, 0};
  for (int r = 1; r < pat.rows; ++r) {
    pat.at(r, 0, 2) = {0, 0, 0, 0x2, 0x19};  // 100 periods a tick: to the top in a pattern
    pat.at(r, 1, 2) = {0, 0, 0, 0x2, 0x0C};
  }
  song.patterns = {pat};
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2}) {
    SCOPED_TRACE(mode == ReplayMode::ft2 ? "ft2" : "classic");
    const auto full = render_all(song, limit, mode);
    const auto starts = row_starts(song, limit, mode);
    ASSERT_EQ(starts.size(), 64u);
    for (const auto& [target, frame] : starts) {
      SCOPED_TRACE(testing::Message() << std::hex << target);
      auto player = load_xm(song, mode);
      OfflineRenderer r(*player);
      ASSERT_TRUE(r.seek_row(target, limit));
      EXPECT_EQ(r.frames_rendered(), frame);
      // By the last row the first note has reached the top, which wraps to no pitch at all.
      if (target == 0x003F) {
        EXPECT_EQ(player->channels[0].voice->step == 1, mode == ReplayMode::ft2);
      }
      expect_tail_equal(full, frame, render_rest(r, limit));
    }
  }
}

// The state itself, not only what it sounds like: every voice and the channels' moving
// parts equal those of a player that mixed its way there.
TEST(Seek, VoicesAndChannelsEqualThoseOfAMixedRun) {
  const XmModule song = flow_song(7);
  const auto starts = row_starts(song, limit);
  for (std::uint16_t target : {std::uint16_t{0x0110}, std::uint16_t{0x0208}, std::uint16_t{0x0318}}) {
    SCOPED_TRACE(testing::Message() << std::hex << target);
    ASSERT_TRUE(starts.count(target));
    auto dry = load_xm(song);
    OfflineRenderer r(*dry);
    ASSERT_TRUE(r.seek_row(target, limit));

    auto wet = load_xm(song);
    player_start(*wet);
    std::vector<float> span(2 * chunk_frames);
    std::int16_t pcm[2 * chunk_frames];
    std::uint64_t at = 0;
    const std::uint64_t stop = starts.at(target);
    while (at < stop) {
      const int n = static_cast<int>(std::min<std::uint64_t>(chunk_frames - at % chunk_frames, stop - at));
      at += mix_frames(*wet, span.data(), pcm, n);
    }
    EXPECT_EQ(wet->samples_left_in_tick, 0);
    for (int i = 0; i < voice_count; ++i) {
      SCOPED_TRACE(i);
      const Voice &a = dry->voices[i], &b = wet->voices[i];
      EXPECT_EQ(a.position, b.position);
      EXPECT_EQ(a.step, b.step);
      EXPECT_EQ(a.direction, b.direction);
      EXPECT_EQ(a.sample == nullptr, b.sample == nullptr);
      EXPECT_EQ(a.left, b.left);
      EXPECT_EQ(a.right, b.right);
      EXPECT_EQ(a.current_left, b.current_left);
      EXPECT_EQ(a.current_right, b.current_right);
      EXPECT_EQ(a.ramp_frames_remaining, b.ramp_frames_remaining);
      EXPECT_EQ(std::memcmp(&a.ramp_step_left, &b.ramp_step_left, sizeof(float)), 0);
    }
    for (int c = 0; c < song.channels; ++c) {
      const Channel &a = dry->channels[c], &b = wet->channels[c];
      EXPECT_EQ(a.voice - dry->voices, b.voice - wet->voices);
      EXPECT_EQ(a.period, b.period);
      EXPECT_EQ(a.volume, b.volume);
      EXPECT_EQ(a.fadeout_volume, b.fadeout_volume);
      EXPECT_EQ(a.volume_envelope.tick, b.volume_envelope.tick);
      EXPECT_EQ(a.panning_envelope.value, b.panning_envelope.value);
      EXPECT_EQ(a.auto_vibrato_position, b.auto_vibrato_position);
      EXPECT_EQ(a.vibrato_position, b.vibrato_position);
      EXPECT_EQ(a.loop_count, b.loop_count);
    }
    EXPECT_EQ(dry->speed, wet->speed);
    EXPECT_EQ(dry->bpm, wet->bpm);
    EXPECT_EQ(dry->global_volume, wet->global_volume);
  }
}

// Frames anywhere, and frames just after a row's first tick, where the gains of the voices
// whose volume changed are on their way (a ramp cut there would round differently).
TEST(Seek, ToAFrameEqualsTheFullRenderFromThatFrame) {
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2}) {
    SCOPED_TRACE(mode == ReplayMode::ft2 ? "ft2" : "classic");
    const XmModule song = flow_song(11);
    const auto full = render_all(song, limit, mode);
    std::mt19937 rng(5);
    std::vector<std::uint64_t> frames;
    for (int i = 0; i < 12; ++i) frames.push_back(rng() % (full.size() / 2));
    int rows = 0;
    for (const auto& [position, start] : row_starts(song, limit, mode))
      if (rows++ % 5 == 0)
        for (std::uint64_t after : {1u, 5u, 64u, 127u}) frames.push_back(start + after);
    expect_seeks_land(song, mode, full, frames);
  }
}

// Voices that wait through a vibrato (their steps change while they are left behind), then
// hold their last pitch for far longer than 2^20 frames: one on a loop, one running off the
// end of its sample on the way. Where a seek leaves them, the render goes on as the full one.
TEST(Seek, VoicesLeftBehindThroughPitchChangesAndALongHoldLandWhereMixingDoes) {
  XmModule song = one_pattern_song(2, 16, 31, 32);  // ticks of 3445 frames
  song.instruments = {test_instrument(looped(3000, 1, 500, 2000)), test_instrument(test_sample(20000))};
  XmPattern& p = song.patterns[0];
  p.at(0, 0, 2) = {49, 1, 0, 0x4, 0x8F};
  p.at(1, 0, 2) = {0, 0, 0, 0x4, 0x00};
  p.at(0, 1, 2) = {13, 2, 0, 0x4, 0x6C};
  p.at(1, 1, 2) = {0, 0, 0, 0x1, 0x01};
  const auto full = render_all(song, limit);
  // The pitches stop moving with row 2.
  const std::uint64_t hold = 2 * 31 * 3445, after_hold = hold + (1u << 20) + 5000;
  ASSERT_GT(full.size() / 2, after_hold + 1000);
  expect_seeks_land(song, ReplayMode::classic, full, {after_hold, full.size() / 2 - 1000});
}

// FastTracker 2 works out every channel's volume again on the tick the global volume changes,
// so a voice's volume changes twice in that tick. A seek that stops within the ramp that
// follows leaves the voice ramping from where it stood before that tick, as mixing does.
TEST(Seek, ARampAfterTwoVolumeChangesInOneTickStartsFromBeforeThem) {
  XmModule song = one_pattern_song(2, 8, 6, 120);
  XmInstrument a = test_instrument(looped(3000, 1, 500, 2000));
  a.volume_envelope.points = {{0, 64}, {60, 4}};
  a.volume_envelope.type = 1;
  song.instruments = {a};
  song.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  song.patterns[0].at(4, 1, 2) = {0, 0, 0, 0x10, 0x20};  // global volume 32
  const auto full = render_all(song, limit, ReplayMode::ft2);
  const std::uint64_t start = row_starts(song, limit, ReplayMode::ft2).at(0x0004);
  // A seek runs without mixing up to the start of the chunk that holds its frame.
  const std::uint64_t chunk = (start / chunk_frames + 1) * chunk_frames;
  ASSERT_LT(chunk - start, 128u);
  expect_seeks_land(song, ReplayMode::ft2, full, {chunk, chunk + 100});
}

// The classic replay's E5x changes the finetune in the sample itself, for the notes after it.
// A render from the start, again or up to a seek, begins with the finetune the file gives.
TEST(Seek, AFinetuneChangedWhilePlayingIsTheFilesAgainAtTheStart) {
  XmModule song = one_pattern_song(1, 16);
  song.instruments = {test_instrument(looped(3000, 1, 500, 2000))};
  song.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  song.patterns[0].at(4, 0, 1) = {0, 0, 0, 0xE, 0x57};
  song.patterns[0].at(8, 0, 1) = {49, 1, 0, 0, 0};
  const auto full = render_all(song, limit);
  auto player = load_xm(song);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    player->order_position = player->row = 0;
    OfflineRenderer r(*player);
    EXPECT_EQ(render_rest(r, limit), full);
  }
  const std::uint64_t frame = full.size() / 4 * 3 / 2;  // inside row 12
  player->order_position = player->row = 0;
  OfflineRenderer r(*player);
  r.seek_frame(frame);
  expect_tail_equal(full, frame, render_rest(r, limit));
}

// What the replayer remembers between ticks (each channel's instrument and sample; a voice's
// gains, kept while its volume and panning stay) against a player made to forget the
// instruments and samples before every tick: the same sound, and gains that always equal
// the plain formulas. Global volume changes reach a channel only as it updates.
namespace forgetful {
int wrong_gains = 0;

int reference_gain(bool ft2, int volume, int panning, bool right) {
  if (!ft2) return volume * (right ? 255 - panning : panning) / 255;
  const int p = right ? panning : 256 - panning;
  const long long g = std::lround(std::sqrt(p / 256.0) * 65536.0);
  return static_cast<int>((volume * g + 32768) >> 16);
}

void tick(ModulePlayer& m) {
  for (Channel& ch : m.channels) {
    ch.looked_up = 0;
  }
  player_tick(m);
  for (const Voice& v : m.voices)
    if (v.left != reference_gain(m.ft2(), v.volume, v.panning, false) ||
        v.right != reference_gain(m.ft2(), v.volume, v.panning, true))
      ++wrong_gains;
}
}  // namespace forgetful

TEST(Seek, WhatTheReplayerRemembersBetweenTicksChangesNothing) {
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2})
  for (std::uint32_t seed : {4u, 5u}) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << (mode == ReplayMode::ft2 ? ", ft2" : ", classic"));
    XmModule song = flow_song(seed);
    // One instrument whose samples alternate from note to note.
    song.instruments[2].samples.push_back(looped(2500, 1, 100, 1200));
    for (int n = 0; n < 96; ++n) song.instruments[2].keymap[n] = static_cast<std::uint8_t>(n % 2);
    std::mt19937 rng(seed);
    for (XmPattern& pat : song.patterns)
      for (int r = 0; r < pat.rows; r += 3) {
        XmCell& cell = pat.at(r, static_cast<int>(rng() % 4), song.channels);
        cell.effect = rng() % 2 ? 0x10 : 0x11;
        cell.param = static_cast<std::uint8_t>(rng() % 2 ? rng() % 0x41 : (rng() % 2 ? 0x03 : 0x40));
      }
    auto remembering = load_xm(song, mode), forgetting = load_xm(song, mode);
    player_start(*remembering);
    player_start(*forgetting);
    forgetting->tick_function = forgetful::tick;
    forgetful::wrong_gains = 0;
    std::vector<float> span(2 * chunk_frames);
    std::int16_t a[2 * chunk_frames], b[2 * chunk_frames];
    int differing_chunks = 0;
    for (int chunk = 0; chunk < 2000; ++chunk) {
      mix_frames(*remembering, span.data(), a, chunk_frames);
      mix_frames(*forgetting, span.data(), b, chunk_frames);
      differing_chunks += std::memcmp(a, b, sizeof a) != 0;
    }
    EXPECT_EQ(differing_chunks, 0);
    EXPECT_EQ(forgetful::wrong_gains, 0);
    for (int i = 0; i < voice_count; ++i) {
      EXPECT_EQ(remembering->voices[i].volume, forgetting->voices[i].volume);
      EXPECT_EQ(remembering->voices[i].step, forgetting->voices[i].step);
    }
  }
}

TEST(Seek, TheFirstTimeARowIsPlayedCountsAndRowsNeverPlayedAreNotFound) {
  XmModule m = test_module(1, 8);
  m.speed = 1;
  m.bpm = 125;  // 882 frames a row
  m.orders = {0, 1, 2};
  m.patterns.resize(3);
  for (XmPattern& p : m.patterns) p.rows = 8;
  m.patterns[1].at(2, 0, 1) = {0, 0, 0, 0xE, 0x60};
  m.patterns[1].at(5, 0, 1) = {0, 0, 0, 0xE, 0x63};  // rows 2..5 four times
  m.patterns[2].at(0, 0, 1) = {0, 0, 0, 0xB, 0x00};  // and back to the start: the end
  {
    auto player = load_xm(m);
    OfflineRenderer r(*player);
    ASSERT_TRUE(r.seek_row(0x0103, limit));
    EXPECT_EQ(r.frames_rendered(), (8u + 3u) * 882);
  }
  {
    auto player = load_xm(m);
    OfflineRenderer r(*player);
    ASSERT_TRUE(r.seek_row(0x0106, limit));
    EXPECT_EQ(r.frames_rendered(), (8u + 2u + 4u * 4u) * 882);
  }
  for (std::uint16_t never : {std::uint16_t{0x0201}, std::uint16_t{0x0300}, std::uint16_t{0x0040}}) {
    auto player = load_xm(m);
    OfflineRenderer r(*player);
    EXPECT_FALSE(r.seek_row(never, limit)) << std::hex << never;
    EXPECT_TRUE(r.finished());
    std::int16_t chunk[2 * chunk_frames];
    EXPECT_EQ(r.render_chunk(chunk, true), 0);
  }
  {
    // A limit ends the search too.
    auto player = load_xm(m);
    OfflineRenderer r(*player);
    EXPECT_FALSE(r.seek_row(0x0106, 10 * 882));
  }
}

TEST(SongPosition, WrittenAsOrderAndRowOrAsTheScriptWritesIt) {
  const std::pair<const char*, int> cases[] = {
      {"5", 0x0500},       {"5:32", 0x0520}, {"0x0A:0x20", 0x0A20}, {"0x0a20", 0x0A20},
      {"0:0", 0},          {"255:255", 0xFFFF}, {"0X1f", 0x1F00},   {"0x0005", 0x0005},
      {"10:0x3F", 0x0A3F}, {"", -1},         {"256", -1},          {"5:256", -1},
      {"5:", -1},          {":5", -1},       {"0x", -1},           {"5:3:1", -1},
      {"-1", -1},          {"5a", -1},       {"0x12345", -1},      {" 5", -1}};
  for (const auto& [text, want] : cases) {
    std::uint16_t got = 0xBEEF;
    EXPECT_EQ(parse_song_position(text, &got), want >= 0) << text;
    if (want >= 0) {
      EXPECT_EQ(got, want) << text;
    }
  }
  std::uint16_t got;
  EXPECT_FALSE(parse_song_position(nullptr, &got));
}

}  // namespace
