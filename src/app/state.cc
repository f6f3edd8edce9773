// Process-wide state of the application frame.
#include <cstring>

#include "app/app.h"
#include "app/config.h"

DemoConfig demo_config;
std::atomic<std::uint32_t> system_flags{0};
std::uint32_t* framebuffer = nullptr;
void* module_buffer = nullptr;
std::uint32_t module_size = 0;
Screen screen;
FrameClock frame_clock;
std::atomic<std::thread::id> render_thread_id;
char* stored_fatal_message = nullptr;
StartPoint start_point;
std::uint64_t start_frame = 0;

void config_set_defaults(DemoConfig& config) {
  std::memset(&config, 0, sizeof config);
  config.width = 320;
  config.height = 200;
  config.bits_per_pixel = 32;
  config.aspect = 4.0f / 3.0f;
  config.display_hint_x = 1.0f;
  config.display_hint_y = 1.0f;
  config.title = "Kestol Demo System";
  config.progress_callback = draw_loading_bar;
  config.replay_mode = ReplayMode::classic;
}
