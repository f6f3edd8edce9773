// The sound subsystem's entry points.
#pragma once

#include <cstdint>

// Builds the player from a whole module file: 0 on success, 3 on failure.
int music_load(const void* data, std::uint32_t size);
// Starts the music on the audio device. When no device opens, the music plays all the same
// on the wall clock (the performance counter), unheard, and music_audible() says so. False
// only without a player.
bool music_start();
// The same, without trying the device.
bool music_start_silent();
// True while the music plays on an audio device; false when it runs unheard or is stopped.
bool music_audible();
// Audio frames heard (or timed, when unheard) since the music started; 0 when stopped.
std::uint64_t music_frames_played();
std::uint16_t music_position();
// Stops the output, frees the player.
void music_stop();
