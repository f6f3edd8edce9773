// Controls of the headless host, for tests and offline capture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace headless {

// Virtual time: the performance counter advances only when its owner says so. One tick is
// 1/2,646,000 s, so both a 60 Hz video frame (44,100 ticks) and one 44,100 Hz audio frame
// (60 ticks) are whole numbers of ticks.
inline constexpr std::int64_t kTicksPerSecond = 2'646'000;

void set_virtual_time(bool enabled);
bool virtual_time();
// Moves virtual time on. While the audio device plays and a feeder refills it, returns
// only when the feeder has caught up with the new device position (settle_audio).
void advance_virtual_time(std::int64_t ticks);
std::int64_t virtual_ticks();

// Makes the performance counter fail (clock_ms then reads 0), as a broken counter would.
void set_counter_fails(bool fails);

// The texts of the message boxes shown so far, joined by newlines, and their count.
std::string message_box_log();
int message_box_count();

// ---- Audio device ----------------------------------------------------------------------
// In virtual time the device's position follows the virtual clock from the moment it
// starts playing (60 ticks per audio frame); otherwise it follows the steady clock.

// Makes host_audio_open fail, as a machine without a sound device would.
void set_audio_open_fails(bool fails);
bool audio_is_open();
bool audio_is_playing();

// Records what the device plays from now on, as it is heard: into memory (audio_recorded)
// and/or into a WAV file (44,100 Hz, 16-bit stereo). audio_record_wav is false when the
// file cannot be created. audio_record_stop completes and closes the WAV file.
void set_audio_record_memory(bool enabled);
std::vector<std::uint8_t> audio_recorded();
void clear_audio_recorded();
bool audio_record_wav(const char* path);
void audio_record_stop();

// Waits (at most a few seconds of real time) until the feeder of the playing device has
// polled the current position and finished the refill it asked for. Returns at once when
// nothing plays or no feeder was announced.
void settle_audio();

}  // namespace headless
