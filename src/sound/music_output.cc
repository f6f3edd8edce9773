// The music output: one looping ring of 100 chunks of 20 ms on the audio device, an audio
// thread that remixes each chunk as soon as the device has played it, and the song
// position recorded per chunk so the picture follows what is heard. Without a device the
// same thread mixes on the wall clock into a ring nobody hears, so the position moves as it
// would have been heard.
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "host/audio.h"
#include "host/host.h"
#include "host/rates.h"
#include "sound/module.h"
#include "sound/music.h"
#include "sound/music_output.h"
#include "sound/render.h"

namespace {

constexpr int buffer_ms = 1000;
constexpr int ring_frames = (buffer_ms / 20) * chunk_frames * 2;
constexpr int chunk_count = ring_frames / chunk_frames;
static_assert(chunk_frames == 884 && ring_frames == 88400 && chunk_count == 100);
static_assert(mix_rate == kHostAudioRate);

struct FloatDeleter {
  void operator()(float* p) const { ::operator delete[](p, std::align_val_t{16}); }
};

struct MusicOutput {
  ModulePlayer* mixing_player = nullptr;
  std::unique_ptr<std::int16_t[]> pcm_ring;
  std::unique_ptr<float[], FloatDeleter> float_ring;
  bool device_open = false;
  // Set while the music runs without a device: the performance counter when it started
  // (the steady clock in nanoseconds where the counter cannot be read).
  bool silent = false;
  bool silent_steady = false;
  std::int64_t silent_start = 0;
  std::int64_t silent_frequency = 0;
  // Frames of the first chunk before the one the playback started at.
  std::uint64_t lead_frames = 0;
  // Only the mixing thread moves it; atomic so a test may look at a stopped output.
  std::atomic<int> write_chunk{0};
  std::atomic<void (*)()> mix_hook{nullptr};

  // Shared with the render thread (music_position) and the stopping thread. A record is
  // one 16-bit word, (order << 8) | row, so it is never read half-written. The records
  // live here for the whole run; `records_ready` says whether they belong to a playback.
  std::array<std::atomic<std::uint16_t>, chunk_count> records{};
  std::atomic<bool> records_ready{false};
  std::atomic<int> play_index{0};
  std::atomic<std::uint8_t> stop_requested{0};
  std::atomic<std::uint8_t> mixing_busy{0};
  std::atomic<std::uint8_t> audio_thread_ended{1};
  // A seek asked of the audio thread: a position, or -1.
  std::atomic<int> seek_request{-1};
  std::atomic<unsigned> seeks_done{0};
  std::atomic<bool> last_seek_found{false};
  std::thread thread;
};

MusicOutput output;

void mix_chunk() {
  MusicOutput& o = output;
  std::size_t start = static_cast<std::size_t>(o.write_chunk) * chunk_frames * 2;
  // Zeroes the chunk's float frames, runs the ticks that fall due and converts to PCM.
  mix_frames(*o.mixing_player, o.float_ring.get() + start, o.pcm_ring.get() + start,
             chunk_frames);
  o.records[o.write_chunk].store(o.mixing_player->position(), std::memory_order_relaxed);
  int next = o.write_chunk + 1;
  o.write_chunk.store(next == chunk_count ? 0 : next, std::memory_order_relaxed);
}

std::int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Starts the clock the music follows without a device.
void start_silent_clock() {
  MusicOutput& o = output;
  o.silent_steady = !host_performance_frequency(&o.silent_frequency) || o.silent_frequency <= 0 ||
                    !host_performance_counter(&o.silent_start);
  if (o.silent_steady) {
    o.silent_frequency = 1'000'000'000;
    o.silent_start = steady_ns();
  }
}

// Audio frames played since the start: the device's count, or the wall clock's.
std::uint64_t frames_played() {
  MusicOutput& o = output;
  if (!o.silent) return host_audio_position() / kHostAudioFrameBytes;
  std::int64_t now = 0;
  if (o.silent_steady)
    now = steady_ns();
  else if (!host_performance_counter(&now))
    return o.lead_frames;
  if (now <= o.silent_start) return o.lead_frames;
  return o.lead_frames + static_cast<std::uint64_t>(rescale(now - o.silent_start, o.silent_frequency, mix_rate));
}

}  // namespace

std::uint64_t music_find_position(ModulePlayer& player, std::uint16_t position) {
  constexpr std::uint64_t limit = 3600ull * mix_rate;
  player.order_position = 0;
  player.row = 0;
  OfflineRenderer search(player);
  if (!search.seek_row(position, limit)) return music_no_position;
  return search.frames_rendered() / chunk_frames * chunk_frames;
}

namespace {

// Starts player and runs it without mixing to `frame`, a chunk's first frame.
void run_player_to(ModulePlayer& player, std::uint64_t frame) {
  player.order_position = 0;
  player.row = 0;
  OfflineRenderer run(player);
  run.seek_frame(frame);
}

}  // namespace

std::uint64_t music_seek_player(ModulePlayer& player, std::uint16_t position) {
  const std::uint64_t chunk_start = music_find_position(player, position);
  if (chunk_start != music_no_position) run_player_to(player, chunk_start);
  return chunk_start;
}

namespace {

// After a seek while playing: every chunk but the one being heard is mixed anew from the
// player's new place, so the new music (and its positions) comes with the next chunk.
void refill_after(int playing) {
  MusicOutput& o = output;
  const int next = playing + 1 == chunk_count ? 0 : playing + 1;
  o.write_chunk.store(next, std::memory_order_relaxed);
  do {
    mix_chunk();
  } while (o.write_chunk != playing);
}

void audio_thread() {
  MusicOutput& o = output;
  o.audio_thread_ended.store(0);
  while (o.stop_requested.load() == 0) {
    std::uint64_t frames = frames_played();
    int playing = static_cast<int>(frames % ring_frames / chunk_frames);
    const int seek = o.seek_request.exchange(-1);
    if (seek >= 0) {
      o.mixing_busy.store(1);
      // Caught up first, so the chunk being heard is the one the play index names.
      while (o.write_chunk != playing) {
        int next = o.play_index.load(std::memory_order_relaxed) + 1;
        o.play_index.store(next == chunk_count ? 0 : next, std::memory_order_release);
        mix_chunk();
      }
      const bool found = music_seek_player(*o.mixing_player, static_cast<std::uint16_t>(seek)) != music_no_position;
      if (found) refill_after(playing);
      o.last_seek_found.store(found);
      o.seeks_done.fetch_add(1);
      o.mixing_busy.store(0);
    }
    while (o.write_chunk != playing) {
      o.mixing_busy.store(1);
      int next = o.play_index.load(std::memory_order_relaxed) + 1;
      o.play_index.store(next == chunk_count ? 0 : next, std::memory_order_release);
      mix_chunk();
      if (auto hook = o.mix_hook.load()) hook();
      o.mixing_busy.store(0);
    }
    host_audio_wait(5);
  }
  o.audio_thread_ended.store(1);
}

// Ends the audio thread and releases the device and the rings; the player stays.
void stop_output() {
  MusicOutput& o = output;
  o.stop_requested.store(1);
  while (o.mixing_busy.load() != 0) std::this_thread::yield();
  if (o.thread.joinable()) {
    while (o.audio_thread_ended.load() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    o.thread.join();
  }
  o.float_ring.reset();
  if (o.device_open) host_audio_reset();
  o.pcm_ring.reset();
  o.mixing_player = nullptr;
  o.records_ready.store(false);
  for (auto& record : o.records) record.store(0, std::memory_order_relaxed);
  if (o.device_open) host_audio_close();
  o.device_open = false;
  o.silent = false;
  o.write_chunk = 0;
  o.play_index.store(0);
}

}  // namespace

namespace {

bool start_output(bool with_device, std::uint64_t frame) {
  MusicOutput& o = output;
  ModulePlayer* player = music_player();
  if (player == nullptr) return false;
  stop_output();

  player_start(*player);  // channels, voices and their ramps, speed, BPM
  // The song as it stands at the start of the chunk that holds frame (the output's chunks
  // keep their places in the song); the device starts inside that chunk, at frame.
  const std::uint64_t lead = frame % chunk_frames;
  if (frame != 0) run_player_to(*player, frame - lead);
  o.lead_frames = lead;
  o.mixing_player = player;
  o.records_ready.store(true);

  // Without a device the music still runs: never wait for sound that cannot come.
  o.device_open = with_device && host_audio_open();
  o.silent = !o.device_open;

  o.pcm_ring.reset(new std::int16_t[ring_frames * 2]());
  o.float_ring.reset(new (std::align_val_t{16}) float[ring_frames * 2]);

  // The first two seconds are mixed here, before the device starts.
  do {
    mix_chunk();
  } while (o.write_chunk != 0);
  if (o.silent) {
    start_silent_clock();
  } else {
    host_audio_play(o.pcm_ring.get(), static_cast<std::size_t>(ring_frames) * kHostAudioFrameBytes,
                    static_cast<std::size_t>(lead) * kHostAudioFrameBytes);
  }

  o.stop_requested.store(0);
  // Cleared here as well, so a stop that comes before the thread runs still waits for it.
  o.audio_thread_ended.store(0);
  if (!o.silent) host_audio_expect_feeder();
  // Runs at normal priority: it is two seconds ahead of the device, and raising a thread's
  // priority needs privileges a desktop user seldom has.
  o.thread = std::thread(audio_thread);
  return true;
}

}  // namespace

bool music_start(std::uint64_t frame) { return start_output(true, frame); }

bool music_start_silent(std::uint64_t frame) { return start_output(false, frame); }

bool music_audible() { return output.device_open && output.mixing_player != nullptr; }

std::uint64_t music_frames_played() {
  return output.mixing_player != nullptr ? frames_played() : 0;
}

std::uint16_t music_position() {
  MusicOutput& o = output;
  if (!o.records_ready.load()) return 0;
  int index = o.play_index.load(std::memory_order_acquire);
  return o.records[index].load(std::memory_order_relaxed);
}

bool music_seek(std::uint16_t position) {
  MusicOutput& o = output;
  if (!o.thread.joinable() || o.audio_thread_ended.load() != 0) return false;
  const unsigned done = o.seeks_done.load();
  o.seek_request.store(position);
  // The audio thread takes it at its next poll, within a few milliseconds.
  while (o.seeks_done.load() == done && o.audio_thread_ended.load() == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return o.seeks_done.load() != done && o.last_seek_found.load();
}

void music_stop() {
  if (music_player() == nullptr) return;
  stop_output();
  music_player_free();
}

// ---- Test access ------------------------------------------------------------------------

namespace music_output {

int play_index() { return output.play_index.load(); }
int write_chunk() { return output.write_chunk.load(); }
bool stop_requested() { return output.stop_requested.load() != 0; }
void set_mix_hook(void (*hook)()) { output.mix_hook.store(hook); }
bool mixing_busy() { return output.mixing_busy.load() != 0; }
bool thread_ended() { return output.audio_thread_ended.load() != 0; }
std::uint16_t record(int chunk) {
  return chunk >= 0 && chunk < chunk_count ? output.records[chunk].load() : 0;
}

}  // namespace music_output
