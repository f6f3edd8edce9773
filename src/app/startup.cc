// Start-up and shutdown, on the main thread.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/app.h"
#include "app/command_line.h"
#include "app/data_files.h"
#include "app/demo_hooks.h"
#include "app/fatal.h"
#include "app/scratch_pool.h"
#include "app/startup_internal.h"
#include "app/tables.h"
#include "display/display.h"
#include "fs/archive.h"
#include "host/video.h"
#include "sound/module.h"
#include "sound/music.h"

namespace {

std::atomic<bool> stop_event{false};
// Held by pointer: a fatal error on the main thread exits the process while the thread may
// still run, and a std::thread object destroyed at exit while joinable would abort.
std::thread* render_thread = nullptr;

}  // namespace

bool stop_requested() { return stop_event.load(std::memory_order_acquire); }

bool display_init(DemoConfig& config) {
  if (config.title != nullptr) display_set_title(config.title);
  if (config.icon != nullptr) display_set_icon(config.icon);
  DisplayRequest request{static_cast<std::int32_t>(config.width),
                         static_cast<std::int32_t>(config.height),
                         config.aspect,
                         config.display_hint_x,
                         config.display_hint_y,
                         1};
  if (!display_open(request)) {
    const char* cause = host_video_error();
    if (cause != nullptr && *cause != '\0')
      std::fprintf(stderr, "no display: %s\n`make capture` renders the demo to a video file instead.\n", cause);
    fatal_error("Error initializing display!");
  }
  display_set_fullscreen(1);
  // Formed in 64 bits: a product that wrapped would give a buffer smaller than the rows
  // the frame draws into.
  std::uint64_t bytes = std::uint64_t{config.bits_per_pixel} * config.height * config.width / 8;
  framebuffer = bytes <= 0x7FFFFFFFu
                    ? static_cast<std::uint32_t*>(std::calloc(bytes ? bytes : 1, 1))
                    : nullptr;
  if (framebuffer == nullptr)
    fatal_error("Can't allocate a framebuffer of %ux%u pixels!", config.width, config.height);
  display_present(framebuffer);
  system_flags.fetch_or(display_up);
  return true;
}

bool system_init(DemoConfig& config) {
  mount_data_archive(config.archive_name);
  if (config.scratch_pool_size != 0 && !scratch_pool_create(config.scratch_pool_size))
    return false;
  if (config.module_name != nullptr) {
    module_size = 0;
    module_buffer = load_data_file(config.module_name, &module_size);
    if (music_load(module_buffer, module_size) != 0) {
      std::free(module_buffer);
      module_buffer = nullptr;
      archive_unmount();
      fatal_error("Unable to load module '%s'!", config.module_name);
    }
    player_set_replay_mode(*music_player(), config.replay_mode);
    system_flags.fetch_or(module_loaded);
    start_frame = 0;
    if (start_point.at_position) {
      const std::uint64_t chunk = music_find_position(*music_player(), start_point.position);
      if (chunk == music_no_position) {
        archive_unmount();
        fatal_error("The music never reaches position %02X:%02X!", start_point.position >> 8,
                    start_point.position & 0xFF);
      }
      const std::uint64_t step = start_point.frame_step;
      start_frame = step != 0 ? (chunk + step - 1) / step * step : chunk;
    }
  }
  if (!(system_flags.load() & display_up)) display_init(config);
  return true;
}

void system_shutdown() {
  std::free(framebuffer);
  framebuffer = nullptr;
  display_close();
  system_flags.fetch_and(~display_up);
  archive_unmount();
  if (demo_config.scratch_pool_size != 0) scratch_pool_destroy();
  if (stored_fatal_message != nullptr) {
    host_message_box(stored_fatal_message, demo_config.title, HostMessageBoxIcon::error);
    std::free(stored_fatal_message);
    stored_fatal_message = nullptr;
  }
}

int kestol_main() {
  command_line_split(host_command_line(), false);
  config_set_defaults(demo_config);
  demo_configure(demo_config);
  if (!system_init(demo_config)) fatal_error("Error initializing system!");
  lookup_tables_init();

  screen.pixels = framebuffer;
  screen.width = static_cast<std::int32_t>(demo_config.width);
  screen.height = static_cast<std::int32_t>(demo_config.height);
  screen.pitch = static_cast<std::int32_t>(demo_config.width * demo_config.bits_per_pixel / 8);
  screen.aspect = demo_config.aspect;
  screen.display_hint_x = demo_config.display_hint_x;
  screen.display_hint_y = demo_config.display_hint_y;

  if (!demo_load(demo_config)) fatal_error("Error initializing demo!");

  stop_event.store(false);
  render_thread = new std::thread([] {
    render_thread_id.store(std::this_thread::get_id());
    render_thread_main();
  });

  host_run_event_loop();

  stop_event.store(true, std::memory_order_release);
  render_thread->join();
  delete render_thread;
  render_thread = nullptr;
  render_thread_id.store(std::thread::id());

  music_release();
  demo_unload();
  lookup_tables_free();
  system_shutdown();
  command_line_free();
  return 0;
}
