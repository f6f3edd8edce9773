// The audio device the music output plays through: 44,100 Hz, 16-bit signed stereo (left
// first), one looping buffer handed over once, and the number of bytes played since it
// started. One device per process; only the music output uses it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kHostAudioRate = 44100;
inline constexpr int kHostAudioFrameBytes = 4;  // two 16-bit samples

// Opens the device (silent until host_audio_play). False when no device can be opened.
bool host_audio_open();

// Starts playing `bytes` bytes of `buffer` (a multiple of 4) in an endless loop, from byte
// `start` (a multiple of 4 below bytes) on. The buffer stays the caller's and must outlive
// the playback; the caller keeps refilling the parts the device has played, without
// further calls. The byte counter starts at `start`, as if those bytes had been heard.
void host_audio_play(const void* buffer, std::size_t bytes, std::size_t start = 0);

// Bytes heard since host_audio_play, counting on across loop passes (what is still queued
// inside the device is not counted). 0 when nothing plays.
std::uint64_t host_audio_position();

// The pause of the thread that refills the buffer between two position polls. A host on
// virtual time ends the pause early when its time moves on.
void host_audio_wait(int milliseconds);

// Announces that a thread now keeps the buffer filled (it polls host_audio_position and
// pauses in host_audio_wait). A host on virtual time then lets each step of time return
// only after that thread has caught up with the new position.
void host_audio_expect_feeder();

// Stops the playback and forgets the buffer (the feeder too); the device stays open.
void host_audio_reset();

// Closes the device; resets it first if it still plays.
void host_audio_close();
