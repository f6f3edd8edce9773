#include "app/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "app/fatal_internal.h"
#include "display/display.h"
#include "sound/music.h"

void music_release() {
  if (system_flags.load() & (module_loaded | music_playing)) {
    music_stop();
    std::free(module_buffer);
    module_buffer = nullptr;
    system_flags.fetch_and(~(module_loaded | music_playing));
  }
}

void fatal_error(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  // vsnprintf cuts a longer message to 1023 characters and the NUL.
  int n = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (n < 0) text[0] = '\0';

  if ((system_flags.load() & render_running) &&
      std::this_thread::get_id() == render_thread_id.load()) {
    std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    std::free(stored_fatal_message);
    stored_fatal_message = copy;
    system_flags.fetch_and(~render_running);
    display_request_close();
    throw RenderThreadExit{};
  }

  music_release();
  if (system_flags.load() & display_up) {
    display_close();
    system_flags.fetch_and(~display_up);
  }
  host_message_box(text, demo_config.title, HostMessageBoxIcon::error);
  std::exit(1);
}
