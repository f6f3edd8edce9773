// music_load and the sound subsystem's one player slot.
#include <memory>

#include "sound/module.h"
#include "sound/music.h"

namespace {
std::unique_ptr<ModulePlayer> current_player;
}

ModulePlayer* music_player() { return current_player.get(); }

void music_player_free() { current_player.reset(); }

int music_load(const void* data, std::uint32_t size) {
  current_player.reset();
  current_player = module_load(data, size);
  return current_player ? 0 : 3;
}
