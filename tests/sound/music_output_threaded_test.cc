// The music output on the headless device in virtual time: the audible position, the
// ring's wrap, restarts, stopping during a chunk, playing on without a device, and the bytes heard.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "host/audio.h"
#include "host/headless/headless.h"
#include "sound/module.h"
#include "sound/music.h"
#include "sound/music_output.h"
#include "sound/render.h"
#include "authoring/xm_writer.h"

namespace {

constexpr std::int64_t kTicksPerFrame = headless::kTicksPerSecond / kHostAudioRate;
constexpr int kRingChunks = 100;
constexpr int kVideoFrame = 735;  // audio frames per 1/60 s

// Speed 1 at 255 BPM: a row every 432 frames, so every 884-frame chunk ends on another
// row, and 4 orders of 64 rows make the song longer than the ring.
std::vector<std::uint8_t> song() {
  XmModule m;
  m.channels = 2;
  m.speed = 1;
  m.bpm = 255;
  m.orders = {0, 1, 2, 3};
  XmInstrument instrument;
  XmSample sample;
  for (int i = 0; i < 200; ++i) sample.data.push_back(static_cast<std::int16_t>((i % 50) * 1200 - 30000));
  sample.loop = 1;
  sample.loop_start = 50;
  sample.loop_length = 150;
  instrument.samples.push_back(sample);
  m.instruments.push_back(instrument);
  for (int p = 0; p < 4; ++p) {
    XmPattern pattern;
    for (int row = 0; row < 64; row += 4) {
      pattern.at(row, 0, 2) = {static_cast<std::uint8_t>(40 + (row + p * 7) % 30), 1, 0, 0, 0};
      pattern.at(row + 2, 1, 2) = {static_cast<std::uint8_t>(60 - (row % 20)), 1, 0x30, 0, 0};
    }
    m.patterns.push_back(pattern);
  }
  return xm_write(m);
}

struct Rendering {
  std::vector<std::uint16_t> records;  // position at the end of each chunk
  std::vector<std::int16_t> pcm;
};

// The song as the offline renderer mixes it, from a given order position and row.
Rendering render(const std::vector<std::uint8_t>& bytes, int chunks, std::uint16_t from = 0) {
  Rendering r;
  auto player = module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (!player) return r;
  player->order_position = from >> 8;
  player->row = from & 0xFF;
  OfflineRenderer renderer(*player);
  r.pcm.resize(static_cast<std::size_t>(chunks) * chunk_frames * 2);
  for (int c = 0; c < chunks; ++c) {
    renderer.render_chunk(r.pcm.data() + static_cast<std::size_t>(c) * chunk_frames * 2, false);
    r.records.push_back(renderer.position());
  }
  return r;
}

void advance_frames(std::int64_t frames) { headless::advance_virtual_time(frames * kTicksPerFrame); }

class MusicOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::set_virtual_time(true);
    headless::set_audio_open_fails(false);
    headless::clear_audio_recorded();
    bytes_ = song();
    ASSERT_EQ(music_load(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())), 0);
  }
  void TearDown() override {
    music_stop();
    music_output::set_mix_hook(nullptr);
    headless::set_audio_record_memory(false);
    headless::clear_audio_recorded();
    headless::set_audio_open_fails(false);
    headless::set_virtual_time(false);
  }
  std::vector<std::uint8_t> bytes_;
};

TEST_F(MusicOutput, PositionIsTheRecordOfTheChunkBeingHeard) {
  const int steps = 300;  // about two and a half passes over the ring
  Rendering expected = render(bytes_, steps * kVideoFrame / chunk_frames + 2);
  ASSERT_FALSE(expected.records.empty());
  ASSERT_NE(expected.records[0], expected.records[1]);

  ASSERT_TRUE(music_start());
  EXPECT_EQ(music_position(), expected.records[0]);  // the end of the first 20 ms
  advance_frames(chunk_frames - 1);
  EXPECT_EQ(music_position(), expected.records[0]);
  advance_frames(1);
  EXPECT_EQ(music_position(), expected.records[1]);
  EXPECT_EQ(music_output::play_index(), 1);

  std::int64_t frames = chunk_frames;
  for (int i = 0; i < steps; ++i) {
    advance_frames(kVideoFrame);
    frames += kVideoFrame;
    int chunk = static_cast<int>(frames / chunk_frames);
    ASSERT_EQ(music_position(), expected.records[chunk]) << "at frame " << frames;
    ASSERT_EQ(music_output::play_index(), chunk % kRingChunks);
  }
  music_stop();
  EXPECT_EQ(music_position(), 0);
  EXPECT_EQ(music_player(), nullptr);
  EXPECT_FALSE(headless::audio_is_open());
}

TEST_F(MusicOutput, RecordingEqualsTheOfflineRendering) {
  const int steps = 250;
  const std::size_t frames = static_cast<std::size_t>(steps) * kVideoFrame;
  Rendering expected = render(bytes_, static_cast<int>(frames / chunk_frames) + 1);
  headless::set_audio_record_memory(true);
  ASSERT_TRUE(music_start());
  for (int i = 0; i < steps; ++i) advance_frames(kVideoFrame);
  music_stop();
  std::vector<std::uint8_t> heard = headless::audio_recorded();
  ASSERT_EQ(heard.size(), frames * 4);
  std::vector<std::uint8_t> offline(frames * 4);
  std::memcpy(offline.data(), expected.pcm.data(), offline.size());
  EXPECT_TRUE(heard == offline);
  bool silent = true;
  for (std::uint8_t b : heard) silent = silent && b == 0;
  EXPECT_FALSE(silent);
}

TEST_F(MusicOutput, SecondStartRestartsFromThePlayersPosition) {
  ASSERT_TRUE(music_start());
  advance_frames(10 * chunk_frames);
  Rendering first = render(bytes_, kRingChunks + 10);
  // The first start has mixed 110 chunks by now; the player stands after the last one.
  std::uint16_t resume = first.records.back();
  ASSERT_NE(resume, 0);
  ASSERT_TRUE(music_start());
  Rendering expected = render(bytes_, 21, resume);
  headless::clear_audio_recorded();
  headless::set_audio_record_memory(true);
  EXPECT_EQ(music_position(), expected.records[0]);
  EXPECT_EQ(music_output::play_index(), 0);
  advance_frames(20 * chunk_frames);
  EXPECT_EQ(music_position(), expected.records[20]);
  music_stop();
  std::vector<std::uint8_t> heard = headless::audio_recorded();
  ASSERT_EQ(heard.size(), 20u * chunk_frames * 4);
  EXPECT_EQ(std::memcmp(heard.data(), expected.pcm.data(), heard.size()), 0);
}

// A seek while playing: the chunk being heard plays out, then the song goes on from the
// start of the chunk in which the new row begins, exactly as a render from the start has it.
TEST_F(MusicOutput, SeekWhilePlayingIsHeardFromTheNextChunk) {
  auto reference = module_load(bytes_.data(), static_cast<std::uint32_t>(bytes_.size()));
  const std::uint64_t target_frame = music_seek_player(*reference, 0x0210);
  ASSERT_NE(target_frame, music_no_position);
  ASSERT_EQ(target_frame % chunk_frames, 0u);
  const int target_chunk = static_cast<int>(target_frame / chunk_frames);
  Rendering expected = render(bytes_, target_chunk + 30);

  ASSERT_TRUE(music_start());
  advance_frames(37 * chunk_frames + 100);
  const std::uint16_t before = music_position();
  ASSERT_LT(before, 0x0200);
  ASSERT_TRUE(music_seek(0x0210));
  EXPECT_EQ(music_position(), before);  // still what is heard
  advance_frames(chunk_frames - 101);
  EXPECT_EQ(music_position(), before);

  advance_frames(1);  // the first chunk after the seek is heard
  EXPECT_EQ(music_position(), expected.records[target_chunk]);
  EXPECT_GE(music_position(), 0x0210);
  headless::set_audio_record_memory(true);
  advance_frames(20 * chunk_frames - 1);
  EXPECT_EQ(music_position(), expected.records[target_chunk + 19]);
  advance_frames(1);
  music_stop();
  const std::vector<std::uint8_t> heard = headless::audio_recorded();
  ASSERT_EQ(heard.size(), 20u * chunk_frames * 4);
  EXPECT_EQ(std::memcmp(heard.data(), expected.pcm.data() + 2 * target_frame, heard.size()), 0);
}

TEST_F(MusicOutput, StartAtAChunkOfTheSong) {
  auto reference = module_load(bytes_.data(), static_cast<std::uint32_t>(bytes_.size()));
  const std::uint64_t target_frame = music_seek_player(*reference, 0x0301);
  ASSERT_NE(target_frame, music_no_position);
  const int target_chunk = static_cast<int>(target_frame / chunk_frames);
  Rendering expected = render(bytes_, target_chunk + 12);
  headless::set_audio_record_memory(true);
  ASSERT_TRUE(music_start(target_frame));
  EXPECT_EQ(music_position(), expected.records[target_chunk]);
  advance_frames(10 * chunk_frames);
  EXPECT_EQ(music_position(), expected.records[target_chunk + 10]);
  music_stop();
  const std::vector<std::uint8_t> heard = headless::audio_recorded();
  ASSERT_EQ(heard.size(), 10u * chunk_frames * 4);
  EXPECT_EQ(std::memcmp(heard.data(), expected.pcm.data() + 2 * target_frame, heard.size()), 0);
  // A row the song never plays: no position.
  EXPECT_EQ(music_seek_player(*reference, 0x0440), music_no_position);
}

std::atomic<int> hook_calls{0};
std::atomic<bool> hook_done{false};

// Holds the first chunk the audio thread mixes until a stop has been requested.
void slow_chunk() {
  if (hook_calls.fetch_add(1) != 0) return;
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!music_output::stop_requested() && std::chrono::steady_clock::now() < limit) {
    std::this_thread::yield();
  }
  // Stay inside the chunk a little longer: the stopping thread must wait for it.
  for (int i = 0; i < 20000; ++i) std::this_thread::yield();
  hook_done.store(true);
}

TEST_F(MusicOutput, StopDuringAChunkWaitsForTheChunkAndTheThread) {
  hook_calls = 0;
  hook_done = false;
  music_output::set_mix_hook(slow_chunk);
  ASSERT_TRUE(music_start());
  // Stepping time waits for the feeder, which is held up: step on another thread.
  std::thread stepper([] { advance_frames(chunk_frames); });
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (hook_calls.load() == 0 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
  ASSERT_EQ(hook_calls.load(), 1);
  EXPECT_TRUE(music_output::mixing_busy());
  EXPECT_FALSE(music_output::thread_ended());
  music_stop();
  EXPECT_TRUE(hook_done.load());  // the chunk was finished before music_stop returned
  EXPECT_FALSE(music_output::mixing_busy());
  EXPECT_TRUE(music_output::thread_ended());
  EXPECT_EQ(music_player(), nullptr);
  stepper.join();
}

// Without a device nothing settles the mixing thread after a step of time: wait (in real
// time, bounded) until it has reached the chunk the clock says is playing.
bool wait_for_play_index(int chunk) {
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (music_output::play_index() != chunk) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST_F(MusicOutput, WithoutADeviceThePositionMovesAsIfHeard) {
  const int steps = 200;  // past the ring's wrap
  Rendering expected = render(bytes_, steps * kVideoFrame / chunk_frames + 2);
  headless::set_audio_open_fails(true);
  ASSERT_TRUE(music_start());
  EXPECT_FALSE(music_audible());
  EXPECT_FALSE(headless::audio_is_open());
  EXPECT_EQ(music_position(), expected.records[0]);
  std::int64_t frames = 0;
  for (int i = 0; i < steps; ++i) {
    advance_frames(kVideoFrame);
    frames += kVideoFrame;
    const int chunk = static_cast<int>(frames / chunk_frames);
    ASSERT_TRUE(wait_for_play_index(chunk % kRingChunks)) << "at frame " << frames;
    ASSERT_EQ(music_position(), expected.records[chunk]) << "at frame " << frames;
    ASSERT_EQ(music_frames_played(), static_cast<std::uint64_t>(frames));
  }
  music_stop();
  EXPECT_EQ(music_position(), 0);
  EXPECT_EQ(music_player(), nullptr);
  EXPECT_EQ(music_frames_played(), 0u);

  // A device that opens again is heard again; asked to, the music stays silent regardless.
  headless::set_audio_open_fails(false);
  ASSERT_EQ(music_load(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())), 0);
  ASSERT_TRUE(music_start());
  EXPECT_TRUE(music_audible());
  EXPECT_TRUE(headless::audio_is_open());
  music_stop();
  ASSERT_EQ(music_load(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())), 0);
  ASSERT_TRUE(music_start_silent());
  EXPECT_FALSE(music_audible());
  EXPECT_FALSE(headless::audio_is_open());
  advance_frames(3 * chunk_frames);
  ASSERT_TRUE(wait_for_play_index(3));
  EXPECT_EQ(music_position(), expected.records[3]);
}

// Nor may a broken performance counter stop it: the steady clock takes over (in real time,
// so this waits for about one chunk).
TEST_F(MusicOutput, WithoutADeviceOrCounterTheSteadyClockMovesIt) {
  headless::set_audio_open_fails(true);
  headless::set_counter_fails(true);
  const bool started = music_start();
  const bool moved = started && wait_for_play_index(1);
  headless::set_counter_fails(false);
  ASSERT_TRUE(started);
  EXPECT_TRUE(moved);
}

TEST_F(MusicOutput, NothingWithoutAPlayer) {
  music_stop();
  EXPECT_EQ(music_player(), nullptr);
  EXPECT_FALSE(music_start());
  EXPECT_EQ(music_position(), 0);
  EXPECT_FALSE(headless::audio_is_open());
  music_stop();  // harmless
}

}  // namespace
