// The SDL2 audio device. SDL pulls sound through a callback; the callback copies from the
// looping buffer. The position reported is what the device has taken minus what it still
// holds unplayed, so it follows what is heard rather than what was handed over.
#include <SDL.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "host/audio.h"

namespace {

// The device's own buffer: small, so what it holds unplayed stays well below 20 ms.
constexpr Uint16 kDeviceFrames = 512;

struct Device {
  SDL_AudioDeviceID id = 0;
  // Written by the callback (which SDL runs with the device lock held) and read under
  // that lock by host_audio_position.
  const std::uint8_t* buffer = nullptr;
  std::size_t bytes = 0;
  std::size_t cursor = 0;
  std::uint64_t taken = 0;      // bytes handed to the device since play
  std::uint64_t last_fill = 0;  // bytes of the latest callback, being played now
  std::int64_t last_fill_ns = 0;
};

Device device;

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SDLCALL fill(void* /*userdata*/, Uint8* stream, int length) {
  Device& d = device;
  std::size_t want = length > 0 ? static_cast<std::size_t>(length) : 0;
  if (d.buffer == nullptr) {
    std::memset(stream, 0, want);
    return;
  }
  std::size_t done = 0;
  while (done < want) {
    std::size_t n = d.bytes - d.cursor;
    if (n > want - done) n = want - done;
    std::memcpy(stream + done, d.buffer + d.cursor, n);
    done += n;
    d.cursor += n;
    if (d.cursor == d.bytes) d.cursor = 0;
  }
  d.taken += want;
  d.last_fill = want;
  d.last_fill_ns = now_ns();
}

}  // namespace

bool host_audio_open() {
  if (device.id != 0) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = kHostAudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = fill;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts to whatever the hardware wants.
  device.id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device.id == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

void host_audio_play(const void* buffer, std::size_t bytes, std::size_t start) {
  if (device.id == 0 || buffer == nullptr || bytes < kHostAudioFrameBytes) return;
  SDL_LockAudioDevice(device.id);
  device.buffer = static_cast<const std::uint8_t*>(buffer);
  device.bytes = bytes - bytes % kHostAudioFrameBytes;
  device.cursor = start < device.bytes ? start - start % kHostAudioFrameBytes : 0;
  device.taken = device.cursor;
  device.last_fill = 0;
  device.last_fill_ns = now_ns();
  SDL_UnlockAudioDevice(device.id);
  SDL_PauseAudioDevice(device.id, 0);
}

std::uint64_t host_audio_position() {
  if (device.id == 0) return 0;
  SDL_LockAudioDevice(device.id);
  bool playing = device.buffer != nullptr;
  std::uint64_t taken = device.taken;
  std::uint64_t held = device.last_fill;
  std::int64_t since = now_ns() - device.last_fill_ns;
  if (since > 1'000'000'000) since = 1'000'000'000;
  SDL_UnlockAudioDevice(device.id);
  if (!playing) return 0;
  // The latest fill plays from the moment it was taken, at the device's rate.
  std::uint64_t heard =
      since > 0 ? static_cast<std::uint64_t>(since) * kHostAudioRate / 1'000'000'000 *
                      kHostAudioFrameBytes
                : 0;
  held = heard < held ? held - heard : 0;
  return taken - held;
}

void host_audio_wait(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void host_audio_expect_feeder() {}

void host_audio_reset() {
  if (device.id == 0) return;
  SDL_PauseAudioDevice(device.id, 1);
  SDL_LockAudioDevice(device.id);
  device.buffer = nullptr;
  device.bytes = 0;
  device.cursor = 0;
  device.taken = 0;
  device.last_fill = 0;
  SDL_UnlockAudioDevice(device.id);
}

void host_audio_close() {
  if (device.id == 0) return;
  host_audio_reset();
  SDL_CloseAudioDevice(device.id);
  device.id = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
