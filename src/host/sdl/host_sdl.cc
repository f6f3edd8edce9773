// The desktop host on SDL2: message boxes, icons and the counter. Windows, video and audio
// live in their own files.
#include <SDL.h>

#include <cstdio>

#include "host/host.h"

void host_message_box(const char* text, const char* caption, HostMessageBoxIcon icon) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  Uint32 flags = icon == HostMessageBoxIcon::error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  // Without a display this fails quietly; the text is on standard error already.
  SDL_ShowSimpleMessageBox(flags, caption ? caption : "", text ? text : "", nullptr);
}

bool host_performance_counter(std::int64_t* count) {
  *count = static_cast<std::int64_t>(SDL_GetPerformanceCounter());
  return true;
}

bool host_performance_frequency(std::int64_t* frequency) {
  *frequency = static_cast<std::int64_t>(SDL_GetPerformanceFrequency());
  return *frequency != 0;
}
