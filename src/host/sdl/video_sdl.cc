// SDL video for the full-screen path. The monitor's mode never changes: the chosen mode is
// a back buffer of its size, shown on the desktop-sized full-screen window scaled by the
// largest whole factor that fits, centred, black around it. The render thread writes the
// back buffer and hands it to the main thread at each flip, then waits until it is shown.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "host/sdl/sdl_internal.h"
#include "host/video.h"

namespace {

bool video_up = false;  // main thread only

std::mutex video_mutex;
std::condition_variable flip_done;
bool fullscreen = false;
bool loop_running = false;
bool locked = false;
HostDisplayMode mode;
int pitch = 0;
std::vector<std::uint8_t> back;
std::uint64_t requested = 0;  // flips asked for
std::uint64_t uploaded = 0;   // flips whose back buffer the main thread has taken
std::uint64_t shown = 0;      // flips presented

// Main thread only.
WindowHandle fullscreen_window = nullptr;
SDL_Texture* front = nullptr;

// Draws the front texture into the window: whole-factor scale, centred, black around.
void render_front() {
  SdlWindow* backend = sdl_window(fullscreen_window);
  if (backend == nullptr || front == nullptr) return;
  int output_w = 0, output_h = 0;
  SDL_GetRendererOutputSize(backend->renderer, &output_w, &output_h);
  SDL_Rect destination{0, 0, mode.width, mode.height};
  int factor = std::min(output_w / std::max(mode.width, 1), output_h / std::max(mode.height, 1));
  if (factor >= 1) {
    destination.w = mode.width * factor;
    destination.h = mode.height * factor;
  } else if (output_w > 0 && output_h > 0) {
    // A mode larger than the desktop: shrink to fit, keeping the shape.
    double scale = std::min(static_cast<double>(output_w) / mode.width,
                            static_cast<double>(output_h) / mode.height);
    destination.w = static_cast<int>(mode.width * scale);
    destination.h = static_cast<int>(mode.height * scale);
  }
  destination.x = (output_w - destination.w) / 2;
  destination.y = (output_h - destination.h) / 2;
  SDL_SetRenderDrawColor(backend->renderer, 0, 0, 0, 255);
  SDL_RenderClear(backend->renderer);
  SDL_RenderCopy(backend->renderer, front, nullptr, &destination);
  SDL_RenderPresent(backend->renderer);
}

void add_mode(std::vector<HostDisplayMode>& modes, HostDisplayMode mode_to_add) {
  for (const HostDisplayMode& m : modes)
    if (m.width == mode_to_add.width && m.height == mode_to_add.height &&
        m.bits_per_pixel == mode_to_add.bits_per_pixel)
      return;
  modes.push_back(mode_to_add);
}

}  // namespace

bool sdl_video_up() { return video_up; }

void sdl_video_loop_running(bool running) {
  {
    std::lock_guard lock(video_mutex);
    loop_running = running;
  }
  flip_done.notify_all();
}

void sdl_video_repaint() { render_front(); }

namespace {
std::string video_error;
}

const char* host_video_error() { return video_up ? "" : video_error.c_str(); }

bool host_video_open() {
  if (video_up) return true;
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  const bool unset = (x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0');
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    video_error = unset ? std::string("neither DISPLAY nor WAYLAND_DISPLAY is set")
                        : std::string("SDL video: ") + SDL_GetError();
    return false;
  }
  // SDL falls back to drivers that show nothing; without a display the program must say
  // so rather than run unseen, unless someone asked for such a driver by name.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  bool invisible = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 ||
                                         std::strcmp(driver, "dummy") == 0);
  if (SDL_GetNumVideoDisplays() < 1 || (invisible && (asked == nullptr || *asked == '\0'))) {
    video_error = unset ? std::string("neither DISPLAY nor WAYLAND_DISPLAY is set")
                        : std::string("SDL's video driver '") + (driver ? driver : "") + "' shows no display";
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  video_up = true;
  return true;
}

// SDL's video stays up until the process ends: the window outlives this call.
void host_video_close() {}

std::vector<HostDisplayMode> host_video_modes() {
  std::vector<HostDisplayMode> modes;
  SDL_DisplayMode desktop;
  if (!video_up || SDL_GetDesktopDisplayMode(0, &desktop) != 0) return modes;
  // The classic low resolutions first, as emulated modes, then what the monitor lists.
  static const HostDisplayMode classic[] = {
      {320, 200, 32}, {320, 240, 32}, {640, 400, 32}, {640, 480, 32}, {800, 600, 32}};
  for (const HostDisplayMode& m : classic)
    if (m.width <= desktop.w && m.height <= desktop.h) add_mode(modes, m);
  int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(0, i, &m) == 0 && m.w > 0 && m.h > 0) add_mode(modes, {m.w, m.h, 32});
  }
  add_mode(modes, {desktop.w, desktop.h, 32});
  return modes;
}

bool host_video_enter_fullscreen(WindowHandle window, const HostDisplayMode& wanted) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr || wanted.width <= 0 || wanted.height <= 0 ||
      (wanted.bits_per_pixel != 32 && wanted.bits_per_pixel != 16))
    return false;
  Uint32 format = wanted.bits_per_pixel == 32 ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
  SDL_Texture* texture = SDL_CreateTexture(backend->renderer, format, SDL_TEXTUREACCESS_STREAMING,
                                           wanted.width, wanted.height);
  if (texture == nullptr) return false;
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
  {
    std::lock_guard lock(video_mutex);
    mode = wanted;
    pitch = wanted.width * wanted.bits_per_pixel / 8;
    back.assign(static_cast<std::size_t>(pitch) * wanted.height, 0);
    SDL_UpdateTexture(texture, nullptr, back.data(), pitch);
    fullscreen = true;
    locked = false;
    uploaded = shown = requested;
  }
  if (front) SDL_DestroyTexture(front);
  front = texture;
  fullscreen_window = window;
  backend->fullscreen = true;
  // Cover the desktop by hand as well: without a window manager the full-screen request
  // alone changes nothing on X11.
  SDL_Rect bounds;
  int index = SDL_GetWindowDisplayIndex(backend->sdl);
  if (SDL_GetDisplayBounds(index < 0 ? 0 : index, &bounds) == 0) {
    SDL_SetWindowBordered(backend->sdl, SDL_FALSE);
    SDL_SetWindowPosition(backend->sdl, bounds.x, bounds.y);
    SDL_SetWindowSize(backend->sdl, bounds.w, bounds.h);
  }
  SDL_SetWindowFullscreen(backend->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
  return true;
}

void host_video_leave_fullscreen(WindowHandle window) {
  {
    std::lock_guard lock(video_mutex);
    fullscreen = false;
    back.clear();
    uploaded = shown = requested;
  }
  flip_done.notify_all();
  if (front) SDL_DestroyTexture(front);
  front = nullptr;
  fullscreen_window = nullptr;
  if (SdlWindow* backend = sdl_window(window)) {
    backend->fullscreen = false;
    SDL_SetWindowFullscreen(backend->sdl, 0);
  }
}

bool host_video_lock_back(HostLockedSurface* surface) {
  std::lock_guard lock(video_mutex);
  if (!fullscreen || locked || back.empty()) return false;
  locked = true;
  surface->pixels = back.data();
  surface->width = mode.width;
  surface->height = mode.height;
  surface->pitch = pitch;
  surface->bits_per_pixel = mode.bits_per_pixel;
  surface->green_mask = mode.bits_per_pixel == 16 ? 0x07E0u : 0x0000FF00u;
  return true;
}

void host_video_unlock_back() {
  std::lock_guard lock(video_mutex);
  locked = false;
}

void host_video_flip() {
  std::unique_lock lock(video_mutex);
  if (!fullscreen || !loop_running) return;
  std::uint64_t ticket = ++requested;
  lock.unlock();
  sdl_wake_main_thread();
  lock.lock();
  // The main thread shows it within a frame or two; the time limit only guards against a
  // main thread that stopped pumping without saying so.
  flip_done.wait_for(lock, std::chrono::milliseconds(500), [&] {
    return shown >= ticket || !fullscreen || !loop_running;
  });
  // Whatever happened, the main thread must not read the buffer from now on.
  if (uploaded < ticket) uploaded = ticket;
}

bool host_video_lost() { return false; }
void host_video_restore() {}

void host_video_clear() {
  std::lock_guard lock(video_mutex);
  if (!locked) std::fill(back.begin(), back.end(), 0);
}

void host_video_service() {
  if (!video_up) return;
  std::uint64_t taken = 0;
  {
    std::lock_guard lock(video_mutex);
    if (!fullscreen || front == nullptr || uploaded >= requested || locked) return;
    SDL_UpdateTexture(front, nullptr, back.data(), pitch);
    uploaded = taken = requested;
  }
  render_front();
  {
    std::lock_guard lock(video_mutex);
    shown = std::max(shown, taken);
  }
  flip_done.notify_all();
}
