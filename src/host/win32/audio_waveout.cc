// The audio device on wave-out: one prepared header that loops for ever over the caller's
// buffer, and the device's position in bytes, widened to 64 bits.
#include <mutex>

#include "host/audio.h"
#include "host/win32/win32.h"

#include <mmsystem.h>

namespace {

std::mutex device_mutex;
HWAVEOUT device = nullptr;
WAVEHDR header{};
bool header_prepared = false;
// A playback that starts inside the buffer plays its rest once first, then loops over all.
WAVEHDR lead{};
bool lead_prepared = false;
std::uint64_t start_byte = 0;
// waveOutGetPosition counts in 32 bits; we keep the count of wraps ourselves.
std::uint32_t last_reported = 0;
std::uint64_t wrapped = 0;

void reset_locked() {
  if (device == nullptr) return;
  waveOutReset(device);
  if (header_prepared) {
    waveOutUnprepareHeader(device, &header, sizeof header);
    header_prepared = false;
  }
  if (lead_prepared) {
    waveOutUnprepareHeader(device, &lead, sizeof lead);
    lead_prepared = false;
  }
  header = WAVEHDR{};
  lead = WAVEHDR{};
  start_byte = 0;
  last_reported = 0;
  wrapped = 0;
}

}  // namespace

bool host_audio_open() {
  std::lock_guard lock(device_mutex);
  if (device != nullptr) return true;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = kHostAudioRate;
  format.nAvgBytesPerSec = kHostAudioRate * kHostAudioFrameBytes;
  format.nBlockAlign = kHostAudioFrameBytes;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  HWAVEOUT opened = nullptr;
  if (waveOutOpen(&opened, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
    return false;
  device = opened;
  return true;
}

void host_audio_play(const void* buffer, std::size_t bytes, std::size_t start) {
  std::lock_guard lock(device_mutex);
  if (device == nullptr || buffer == nullptr || bytes == 0) return;
  reset_locked();
  start = start < bytes ? start - start % kHostAudioFrameBytes : 0;
  if (start != 0) {
    lead.lpData = static_cast<LPSTR>(const_cast<void*>(buffer)) + start;
    lead.dwBufferLength = static_cast<DWORD>(bytes - start);
    waveOutPrepareHeader(device, &lead, sizeof lead);
    lead_prepared = true;
    waveOutWrite(device, &lead, sizeof lead);
    start_byte = start;
  }
  header.lpData = static_cast<LPSTR>(const_cast<void*>(buffer));
  header.dwBufferLength = static_cast<DWORD>(bytes);
  header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  header.dwLoops = 0xFFFFFFFF;
  waveOutPrepareHeader(device, &header, sizeof header);
  header_prepared = true;
  waveOutWrite(device, &header, sizeof header);
}

std::uint64_t host_audio_position() {
  std::lock_guard lock(device_mutex);
  if (device == nullptr || !header_prepared) return 0;
  MMTIME time{};
  time.wType = TIME_BYTES;
  if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return start_byte + wrapped + last_reported;
  // A driver may answer in another format than asked for.
  std::uint32_t now;
  if (time.wType == TIME_BYTES)
    now = time.u.cb;
  else if (time.wType == TIME_SAMPLES)
    now = time.u.sample * kHostAudioFrameBytes;
  else
    return start_byte + wrapped + last_reported;
  if (now < last_reported) wrapped += std::uint64_t{1} << 32;
  last_reported = now;
  return start_byte + wrapped + now;
}

void host_audio_wait(int milliseconds) { Sleep(milliseconds > 0 ? milliseconds : 0); }

// The feeder polls the device's own position; nothing to coordinate in real time.
void host_audio_expect_feeder() {}

void host_audio_reset() {
  std::lock_guard lock(device_mutex);
  reset_locked();
}

void host_audio_close() {
  std::lock_guard lock(device_mutex);
  if (device == nullptr) return;
  reset_locked();
  waveOutClose(device);
  device = nullptr;
}
