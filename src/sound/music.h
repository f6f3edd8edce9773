// The sound subsystem's entry points.
#pragma once

#include <cstdint>

// Builds the player from a whole module file: 0 on success, 3 on failure.
int music_load(const void* data, std::uint32_t size);
bool music_start();
std::uint16_t music_position();
// Stops the output, frees the player.
void music_stop();
