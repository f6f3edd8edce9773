// The configuration record: engine defaults, amended by the demo's hook at start-up.
#pragma once

#include <cstdint>

#include "gfx/surface.h"
#include "host/host.h"
#include "sound/module.h"

using ProgressCallback = void (*)(const Surface& surface, float progress);

struct DemoConfig {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bits_per_pixel;
  float aspect;
  float display_hint_x;
  float display_hint_y;
  const char* archive_name;
  const char* module_name;
  const char* title;
  IconHandle icon;
  std::uint8_t progress_keep_background;
  std::uint32_t scratch_pool_size;
  ProgressCallback progress_callback;
  ReplayMode replay_mode;  // how the module is replayed; classic unless the demo asks
};

// The one configuration of the program.
extern DemoConfig demo_config;

// Zeroes the record and stores the engine's defaults.
void config_set_defaults(DemoConfig& config);
