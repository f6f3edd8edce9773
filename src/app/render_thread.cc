#include <cstdio>

#include "app/app.h"
#include "app/clock.h"
#include "app/demo_hooks.h"
#include "app/fatal_internal.h"
#include "app/startup_internal.h"
#include "display/display.h"
#include "sound/music.h"

namespace {

int render_loop() {
  // A demo started later in its song reads the clock it would read there.
  clock_start(start_frame);
  // Without a sound device the music runs on the clock all the same, so the demo moves on.
  if (music_start(start_frame) && !music_audible())
    std::fputs("no audio device: playing without sound\n", stderr);
  system_flags.fetch_or(render_running | music_playing);
  frame_clock.position = 0xFFFF;
  frame_clock.time_ms = 0;
  while (!stop_requested()) {
    frame_clock.previous_position = frame_clock.position;
    frame_clock.position = music_position();
    frame_clock.time_ms = clock_ms();
    if (!demo_frame(screen, frame_clock)) break;
    display_present(framebuffer);
  }
  system_flags.fetch_and(~render_running);
  display_request_close();
  return 0;
}

}  // namespace

int render_thread_main() {
  try {
    return render_loop();
  } catch (const RenderThreadExit&) {
    // fatal_error has stored its message and asked the window to close; shutdown takes it from here.
    return 1;
  }
}
