// The demo that stands in where no real one is linked (the tools, engine-only runs): it
// keeps the engine defaults, draws the loading bar across two seconds and ends.
#include "app/app.h"
#include "app/demo_hooks.h"

void demo_configure(DemoConfig&) {}
bool demo_load(DemoConfig&) { return true; }

bool demo_frame(const Screen& screen, const FrameClock& clock) {
  if (clock.time_ms >= 2000) return false;
  demo_config.progress_callback(screen, static_cast<float>(clock.time_ms) / 2000.0f);
  return true;
}

void demo_unload() {}
