// The sound subsystem's entry points.
#pragma once

#include <cstdint>

struct ModulePlayer;

// Builds the player from a whole module file: 0 on success, 3 on failure.
int music_load(const void* data, std::uint32_t size);
// Starts the music on the audio device. When no device opens, the music plays all the same
// on the wall clock (the performance counter), unheard, and music_audible() says so. False
// only without a player. With `frame`, the song starts as it stands that many frames from
// its beginning, run there without mixing (in the output's chunks from the beginning).
bool music_start(std::uint64_t frame = 0);
// The same, without trying the device.
bool music_start_silent(std::uint64_t frame = 0);
// True while the music plays on an audio device; false when it runs unheard or is stopped.
bool music_audible();
// Audio frames heard (or timed, when unheard) since the music started, counted from the
// start of the chunk it started in; 0 when stopped.
std::uint64_t music_frames_played();
// Asks the playing output to go to `position` ((order << 8) | row, the first time the song
// plays it) and returns once it has: every chunk after the one being heard is mixed anew
// from the start of the chunk in which that row begins, so music_position moves when the
// new music is heard. False when nothing plays or the song never reaches the position.
bool music_seek(std::uint16_t position);
std::uint16_t music_position();

inline constexpr std::uint64_t music_no_position = ~std::uint64_t{0};
// The first frame of the chunk (of the output's chunks from the song's start) in which
// `position` is first played, or music_no_position when the song ends before it; the
// player is left wherever the search stopped.
std::uint64_t music_find_position(ModulePlayer& player, std::uint16_t position);
// Starts player and runs it without mixing to the first frame of the chunk (of the output's
// chunks from the song's start) in which `position` is first played; returns that frame,
// or music_no_position when the song ends before it.
std::uint64_t music_seek_player(ModulePlayer& player, std::uint16_t position);
// Stops the output, frees the player.
void music_stop();
