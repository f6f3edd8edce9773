// The headless audio device: plays into nothing (or into a recording) at the pace of the
// steady clock, or of the virtual clock when the host runs on virtual time.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "host/audio.h"
#include "host/rates.h"
#include "host/headless/headless.h"
#include "host/recorded/feeder_handshake.h"

namespace {

constexpr std::int64_t kTicksPerAudioFrame = headless::kTicksPerSecond / kHostAudioRate;

struct Device {
  std::mutex mutex;
  recorded::FeederHandshake handshake;
  bool open_fails = false;
  bool open = false;

  const std::uint8_t* buffer = nullptr;  // null: not playing
  std::size_t bytes = 0;
  std::int64_t start_ticks = 0;
  std::uint64_t start_byte = 0;  // where in the buffer the playback began
  std::chrono::steady_clock::time_point start_time;

  std::uint64_t recorded = 0;  // bytes of the playback already handed to the recordings
  bool record_memory = false;
  std::vector<std::uint8_t> memory;
  std::FILE* wav = nullptr;
  std::uint32_t wav_bytes = 0;
  int wav_error = 0;  // errno of the first failed write of the recording
};

Device& device() {
  static Device instance;
  return instance;
}

std::uint64_t played_bytes(const Device& d) {
  std::int64_t frames;
  if (headless::virtual_time()) {
    std::int64_t ticks = headless::virtual_ticks() - d.start_ticks;
    frames = ticks > 0 ? ticks / kTicksPerAudioFrame : 0;
  } else {
    auto elapsed = std::chrono::steady_clock::now() - d.start_time;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    frames = ns > 0 ? rescale(ns, 1'000'000'000, kHostAudioRate) : 0;
  }
  return d.start_byte + static_cast<std::uint64_t>(frames) * kHostAudioFrameBytes;
}

void put_le(std::uint8_t* p, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool write_wav_header(std::FILE* file, std::uint32_t data_bytes) {
  std::uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, 36 + data_bytes, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, 16, 4);
  put_le(h + 20, 1, 2);  // PCM
  put_le(h + 22, 2, 2);
  put_le(h + 24, kHostAudioRate, 4);
  put_le(h + 28, kHostAudioRate * kHostAudioFrameBytes, 4);
  put_le(h + 32, kHostAudioFrameBytes, 2);
  put_le(h + 34, 16, 2);
  std::memcpy(h + 36, "data", 4);
  put_le(h + 40, data_bytes, 4);
  return std::fwrite(h, 1, sizeof h, file) == sizeof h;
}

void record(Device& d, const std::uint8_t* data, std::size_t count) {
  if (d.record_memory) d.memory.insert(d.memory.end(), data, data + count);
  if (d.wav != nullptr) {
    // A WAV file holds at most 4 GiB; beyond that the recording ends quietly.
    std::size_t room = 0xFFFFFFFFu - 44 - d.wav_bytes;
    std::size_t n = count < room ? count : room;
    const std::size_t written = std::fwrite(data, 1, n, d.wav);
    if (written != n && d.wav_error == 0) d.wav_error = errno != 0 ? errno : EIO;
    d.wav_bytes += static_cast<std::uint32_t>(written);
  }
}

// Hands what was heard since the last call to the recordings. The feeder only refills
// what lies behind the position it last polled, so these bytes are still the ones heard.
std::uint64_t poll(Device& d) {
  if (d.buffer == nullptr) return 0;
  std::uint64_t now = played_bytes(d);
  if (d.record_memory || d.wav != nullptr) {
    while (d.recorded < now) {
      std::size_t offset = static_cast<std::size_t>(d.recorded % d.bytes);
      std::size_t n = d.bytes - offset;
      if (n > now - d.recorded) n = static_cast<std::size_t>(now - d.recorded);
      record(d, d.buffer + offset, n);
      d.recorded += n;
    }
  }
  d.recorded = now;
  return now;
}

void stop_playing(Device& d) {
  poll(d);
  d.buffer = nullptr;
  d.bytes = 0;
  d.handshake.stopped();
}

}  // namespace

bool host_audio_open() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.open_fails) return false;
  d.open = true;
  return true;
}

void host_audio_play(const void* buffer, std::size_t bytes, std::size_t start) {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (!d.open || buffer == nullptr || bytes < kHostAudioFrameBytes) return;
  if (d.buffer != nullptr) stop_playing(d);
  d.buffer = static_cast<const std::uint8_t*>(buffer);
  d.bytes = bytes - bytes % kHostAudioFrameBytes;
  d.start_byte = start < d.bytes ? start - start % kHostAudioFrameBytes : 0;
  d.start_ticks = headless::virtual_ticks();
  d.start_time = std::chrono::steady_clock::now();
  d.recorded = d.start_byte;
}

std::uint64_t host_audio_position() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  d.handshake.polled();
  return poll(d);
}

void host_audio_wait(int milliseconds) {
  Device& d = device();
  std::unique_lock lock(d.mutex);
  d.handshake.pause(lock, milliseconds);
}

void host_audio_expect_feeder() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.buffer != nullptr) d.handshake.expect_feeder();
}

void host_audio_reset() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.buffer != nullptr) stop_playing(d);
}

void host_audio_close() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.buffer != nullptr) stop_playing(d);
  d.open = false;
}

namespace headless {

void set_audio_open_fails(bool fails) {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  d.open_fails = fails;
}

bool audio_is_open() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  return d.open;
}

bool audio_is_playing() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  return d.buffer != nullptr;
}

void set_audio_record_memory(bool enabled) {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  poll(d);  // what was heard before belongs to no recording
  d.record_memory = enabled;
}

std::vector<std::uint8_t> audio_recorded() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  return d.memory;
}

void clear_audio_recorded() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  d.memory.clear();
  d.memory.shrink_to_fit();
}

bool audio_record_wav(const char* path) {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.wav != nullptr) return false;
  std::FILE* file = path != nullptr ? std::fopen(path, "wb") : nullptr;
  if (file == nullptr) return false;
  poll(d);
  d.wav = file;
  d.wav_bytes = 0;
  d.wav_error = 0;
  if (!write_wav_header(file, 0)) d.wav_error = errno != 0 ? errno : EIO;
  return true;
}

int audio_record_stop() {
  Device& d = device();
  std::lock_guard lock(d.mutex);
  if (d.wav == nullptr) return 0;
  poll(d);
  auto note = [&d] {
    if (d.wav_error == 0) d.wav_error = errno != 0 ? errno : EIO;
  };
  errno = 0;
  if (std::fflush(d.wav) != 0) note();
  if (std::fseek(d.wav, 0, SEEK_SET) != 0) note();
  if (!write_wav_header(d.wav, d.wav_bytes)) note();
  if (std::fclose(d.wav) != 0) note();
  d.wav = nullptr;
  return d.wav_error;
}

void settle_audio() {
  Device& d = device();
  std::unique_lock lock(d.mutex);
  d.handshake.step(lock);
}

}  // namespace headless
