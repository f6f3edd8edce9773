// The demo hooks of programs that link the engine but run no demo (the toolbox, the
// benchmarks, the fuzz targets): the engine defaults, no pictures, no frames.
#include "app/demo_hooks.h"

void demo_configure(DemoConfig&) {}
bool demo_load(DemoConfig&) { return true; }
bool demo_frame(const Screen&, const FrameClock&) { return false; }
void demo_unload() {}
