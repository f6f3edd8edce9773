// Stands in for the sound subsystem until the replayer is built: no module loads.
#include "sound/music.h"

int music_load(const void*, std::uint32_t) { return 3; }
bool music_start() { return false; }
std::uint16_t music_position() { return 0; }
void music_stop() {}
