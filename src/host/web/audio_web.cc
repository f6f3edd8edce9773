// The web audio device. In the page's normal mode an AudioWorklet (page/worklet.js) reads
// the looping buffer straight from the program's shared memory and counts the frames it
// has handed to the output; the page keeps the output latency up to date, so the
// position is the frame being heard. In the test mode the device plays into nothing on
// the virtual clock, as the headless host's does, and each step of time waits for the
// feeder.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "host/audio.h"
#include "host/recorded/feeder_handshake.h"
#include "host/web/web_internal.h"

namespace {

// Shared with the worklet and the page, which read and write it as 32-bit words with
// Atomics: keep the layout in step with page/worklet.js and page/vexo_page.js.
struct alignas(8) SharedBlock {
  std::atomic<std::int32_t> ring;          // address of the buffer
  std::atomic<std::int32_t> ring_bytes;    // its size, a multiple of 4
  std::atomic<std::int32_t> start_byte;    // where the playback begins
  std::atomic<std::int32_t> generation;    // bumped by every play; the worklet restarts
  std::atomic<std::int32_t> playing;       // 0: the worklet outputs silence
  std::atomic<std::int32_t> consumed;      // frames the worklet has handed on (worklet)
  std::atomic<std::int32_t> latency;       // frames between handing on and hearing (page)
  std::atomic<std::int32_t> start_context_frame;  // the context frame the playback began at
};
static_assert(sizeof(std::atomic<std::int32_t>) == 4);
SharedBlock shared{};

constexpr std::int64_t kTicksPerAudioFrame = web::kTicksPerSecond / kHostAudioRate;

// The test mode's device, on the virtual clock.
struct Device {
  std::mutex mutex;
  recorded::FeederHandshake handshake;
  bool open = false;
  bool playing = false;
  std::int64_t start_ticks = 0;
  std::uint64_t start_byte = 0;
  // What the page's latency estimate gives may step back a little; the position never does
  // (the engine would take a step back for the song looping).
  std::uint64_t last_heard = 0;
};

Device& device() {
  static Device instance;
  return instance;
}

std::uint64_t virtual_played(const Device& d) {
  std::int64_t t = web::virtual_ticks() - d.start_ticks;
  std::int64_t frames = t > 0 ? t / kTicksPerAudioFrame : 0;
  return d.start_byte + static_cast<std::uint64_t>(frames) * kHostAudioFrameBytes;
}

std::uint64_t heard_bytes() {
  std::int64_t frames = static_cast<std::uint32_t>(shared.consumed.load());
  frames -= shared.latency.load();
  if (frames < 0) frames = 0;
  return static_cast<std::uint32_t>(shared.start_byte.load()) +
         static_cast<std::uint64_t>(frames) * kHostAudioFrameBytes;
}

void stop_playing(Device& d) {
  d.playing = false;
  d.handshake.stopped();
  shared.playing.store(0);
  web::note_music_stopped();
}

}  // namespace

// The block's address, for the page to hand to the worklet.
extern "C" EMSCRIPTEN_KEEPALIVE void* kestol_web_audio_block() { return &shared; }
// Bytes heard, as the engine reads them (for the page's checks).
extern "C" EMSCRIPTEN_KEEPALIVE double kestol_web_audio_position() {
  return static_cast<double>(host_audio_position());
}

bool host_audio_open() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (!web::test_mode() && !web::audio_ready()) return false;
  d.open = true;
  return true;
}

void host_audio_play(const void* buffer, std::size_t bytes, std::size_t start) {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (!d.open || buffer == nullptr || bytes < kHostAudioFrameBytes) return;
  if (d.playing) stop_playing(d);
  bytes -= bytes % kHostAudioFrameBytes;
  d.start_byte = start < bytes ? start - start % kHostAudioFrameBytes : 0;
  d.start_ticks = web::virtual_ticks();
  d.last_heard = d.start_byte;
  d.playing = true;
  if (!web::test_mode()) {
    shared.ring.store(static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(buffer)));
    shared.ring_bytes.store(static_cast<std::int32_t>(bytes));
    shared.start_byte.store(static_cast<std::int32_t>(d.start_byte));
    shared.consumed.store(0);
    shared.playing.store(1);
    shared.generation.fetch_add(1);
  }
  web::note_music_started();
}

std::uint64_t host_audio_position() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  d.handshake.polled();
  if (!d.playing) return 0;
  if (web::test_mode()) return virtual_played(d);
  d.last_heard = std::max(d.last_heard, heard_bytes());
  return d.last_heard;
}

void host_audio_wait(int milliseconds) {
  Device& d = device();
  std::unique_lock lock(d.mutex);
  d.handshake.pause(lock, milliseconds);
}

void host_audio_expect_feeder() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.playing) d.handshake.expect_feeder();
}

void host_audio_reset() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.playing) stop_playing(d);
}

void host_audio_close() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.playing) stop_playing(d);
  d.open = false;
}

namespace web {

void settle_audio() {
  Device& d = device();
  std::unique_lock lock(d.mutex);
  d.handshake.step(lock);
}

}  // namespace web
