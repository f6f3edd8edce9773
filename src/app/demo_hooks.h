// The demo's hooks, bound at link time: vexo links the Vexo demo, tests link their own.
#pragma once

#include "app/config.h"
#include "app/frame.h"

void demo_configure(DemoConfig& config);
bool demo_load(DemoConfig& config);
bool demo_frame(const Screen& screen, const FrameClock& clock);
void demo_unload();
