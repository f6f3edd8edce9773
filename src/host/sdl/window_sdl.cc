// SDL windows: creation, frame, placement, cursor, the canvas paint, and the SDL events
// that become window events. Only the main thread calls SDL here.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "host/sdl/sdl_internal.h"
#include "host/video.h"
#include "host/window.h"

struct HostIcon {
  std::uint32_t number = 0;
  SDL_Surface* surface = nullptr;
};

struct HostCanvas {
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint32_t[]> bits;
  SDL_Texture* texture = nullptr;
  SDL_Renderer* owner = nullptr;
};

namespace {

const char* class_name = "YOLGFX";
IconHandle class_icon = nullptr;
int cursor_display_count = 0;
bool cursor_is_arrow = true;
std::atomic<Uint32> wake_event_type{0};
std::atomic<bool> wake_pending{false};

void update_cursor() {
  SDL_ShowCursor(cursor_display_count >= 0 && cursor_is_arrow ? SDL_ENABLE : SDL_DISABLE);
}

WindowHandle handle_of(Uint32 window_id) {
  SDL_Window* sdl = SDL_GetWindowFromID(window_id);
  return sdl ? static_cast<WindowHandle>(SDL_GetWindowData(sdl, "host")) : nullptr;
}

void post_key(WindowHandle window, const SDL_KeyboardEvent& key) {
  std::optional<HostEventType> type = sdl_key_event(key.keysym);
  if (type) host_post_event(window, *type);
}

}  // namespace

std::optional<HostEventType> sdl_key_event(const SDL_Keysym& key) {
  bool enter = key.scancode == SDL_SCANCODE_RETURN || key.scancode == SDL_SCANCODE_KP_ENTER;
  if ((key.mod & KMOD_ALT) != 0) {
    if (enter) return HostEventType::toggle_fullscreen;
    return std::nullopt;
  }
  if (key.scancode == SDL_SCANCODE_ESCAPE) return HostEventType::escape;
  return std::nullopt;
}

void sdl_wake_main_thread() {
  Uint32 type = wake_event_type.load();
  if (type == 0 || wake_pending.exchange(true)) return;
  SDL_Event event{};
  event.type = type;
  if (SDL_PushEvent(&event) != 1) wake_pending = false;
}

void sdl_translate_event(const SDL_Event& event) {
  if (event.type == wake_event_type.load() && event.type != 0) {
    wake_pending = false;
    return;
  }
  switch (event.type) {
    case SDL_QUIT: {
      // An interrupt from the terminal: close the window as the user would.
      SDL_Window* focus = SDL_GetKeyboardFocus();
      WindowHandle window = focus ? static_cast<WindowHandle>(SDL_GetWindowData(focus, "host")) : nullptr;
      if (window) host_post_event(window, HostEventType::close_requested);
      else host_post_quit(0);
      break;
    }
    case SDL_WINDOWEVENT: {
      WindowHandle window = handle_of(event.window.windowID);
      if (window == nullptr) break;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_MOVED:
          host_post_event(window, HostEventType::moved, event.window.data1, event.window.data2);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          host_post_event(window, HostEventType::resized, event.window.data1, event.window.data2);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          if (sdl_window(window)->fullscreen) {
            sdl_video_repaint();
          } else {
            host_post_event(window, HostEventType::erase_background);
            host_invalidate(window);
          }
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          host_post_event(window, HostEventType::activated);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          host_post_event(window, HostEventType::deactivated);
          break;
        case SDL_WINDOWEVENT_CLOSE:
          host_post_event(window, HostEventType::close_requested);
          break;
        default:
          break;
      }
      break;
    }
    case SDL_KEYDOWN:
      if (WindowHandle window = handle_of(event.key.windowID)) post_key(window, event.key);
      break;
    case SDL_MOUSEMOTION:
      if (WindowHandle window = handle_of(event.motion.windowID))
        host_post_event(window, HostEventType::pointer_over_window);
      break;
    default:
      break;
  }
}

namespace {

// Waits for the next queued event, turning SDL's events into queued ones meanwhile.
int next_event(HostEvent* event, int* exit_code) {
  if (!sdl_video_up()) return host_queue::get(event, exit_code);
  sdl_video_loop_running(true);
  for (;;) {
    int result = host_queue::try_get(event, exit_code);
    if (result == 0) sdl_video_loop_running(false);
    if (result >= 0) return result;
    host_video_service();
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 100)) {
      sdl_translate_event(event);
      while (SDL_PollEvent(&event)) sdl_translate_event(event);
    }
    host_video_service();
  }
}

}  // namespace

int host_run_event_loop() {
  HostEvent event;
  int exit_code = 0;
  while (next_event(&event, &exit_code) > 0) host_deliver_event(event);
  return exit_code;
}

IconHandle host_load_icon(std::uint32_t number) {
  static HostIcon icons[8];
  static std::mutex icon_mutex;
  std::lock_guard lock(icon_mutex);
  for (HostIcon& icon : icons)
    if (icon.surface != nullptr && icon.number == number) return &icon;
  const EmbeddedBlock* block = host_find_embedded_block("Icon", number);
  if (block == nullptr || block->size > 0x7FFFFFFF) return nullptr;
  // An icon block holds a BMP picture.
  SDL_Surface* surface =
      SDL_LoadBMP_RW(SDL_RWFromConstMem(block->data, static_cast<int>(block->size)), 1);
  if (surface == nullptr) return nullptr;
  for (HostIcon& icon : icons) {
    if (icon.surface == nullptr) {
      icon.number = number;
      icon.surface = surface;
      return &icon;
    }
  }
  SDL_FreeSurface(surface);
  return nullptr;
}

bool host_register_window_class(const HostWindowClass& window_class) {
  class_name = window_class.name ? window_class.name : "YOLGFX";
  class_icon = window_class.icon;
  // X11 names windows after this when the video starts (their class hint).
  setenv("SDL_VIDEO_X11_WMCLASS", class_name, 0);
  if (wake_event_type.load() == 0) {
    Uint32 type = SDL_RegisterEvents(1);
    if (type != static_cast<Uint32>(-1)) wake_event_type = type;
  }
  host_queue::set_wake(sdl_wake_main_thread);
  return true;
}

WindowHandle host_window_create(const HostWindowDesc& desc) {
  if (!sdl_video_up()) return nullptr;
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (desc.frame == HostFrame::popup) flags |= SDL_WINDOW_BORDERLESS;
  else flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window* sdl = SDL_CreateWindow(desc.title ? desc.title : "", desc.x, desc.y,
                                     desc.width > 0 ? desc.width : 1,
                                     desc.height > 0 ? desc.height : 1, flags);
  if (sdl == nullptr) return nullptr;
  SDL_Renderer* renderer = SDL_CreateRenderer(sdl, -1, SDL_RENDERER_PRESENTVSYNC);
  if (renderer == nullptr) renderer = SDL_CreateRenderer(sdl, -1, SDL_RENDERER_SOFTWARE);
  if (renderer == nullptr) {
    SDL_DestroyWindow(sdl);
    return nullptr;
  }
  WindowHandle window = host_queue::register_window(desc);
  auto* backend = new SdlWindow;
  backend->sdl = sdl;
  backend->renderer = renderer;
  window->backend = backend;
  SDL_SetWindowData(sdl, "host", window);
  IconHandle icon = desc.icon ? desc.icon : class_icon;
  if (icon) host_window_reset_icon(window, icon);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  return window;
}

void host_window_destroy(WindowHandle window) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr || !host_queue::window_alive(window)) return;
  SDL_DestroyRenderer(backend->renderer);
  SDL_DestroyWindow(backend->sdl);
  delete backend;
  window->backend = nullptr;
  host_queue::unregister_window(window);
}

bool host_window_set_frame(WindowHandle window, HostFrame frame) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return false;
  bool was_visible = window->visible;
  bool changed = window->frame != frame || (frame == HostFrame::popup && !was_visible);
  window->frame = frame;
  bool framed = frame == HostFrame::framed;
  SDL_SetWindowBordered(backend->sdl, framed ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(backend->sdl, framed ? SDL_TRUE : SDL_FALSE);
  if (!framed && !was_visible) {
    window->visible = true;
    SDL_ShowWindow(backend->sdl);
  }
  return changed;
}

void host_window_reset_icon(WindowHandle window, IconHandle icon) {
  SdlWindow* backend = sdl_window(window);
  if (backend != nullptr && icon != nullptr && icon->surface != nullptr)
    SDL_SetWindowIcon(backend->sdl, icon->surface);
}

void host_window_place(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                       int height, std::uint32_t flags) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return;
  if (flags & host_place_show) {
    window->visible = true;
    SDL_ShowWindow(backend->sdl);
  }
  // In full screen the window covers the desktop; the video shows the mode inside it.
  if (!backend->fullscreen) {
    if (!(flags & host_place_keep_position)) SDL_SetWindowPosition(backend->sdl, x, y);
    if (!(flags & host_place_keep_size)) SDL_SetWindowSize(backend->sdl, width > 0 ? width : 1, height > 0 ? height : 1);
  }
  if (z_order != HostZOrder::unchanged && window->visible) SDL_RaiseWindow(backend->sdl);
  int cx, cy, cw, ch;
  SDL_GetWindowPosition(backend->sdl, &cx, &cy);
  SDL_GetWindowSize(backend->sdl, &cw, &ch);
  bool frame_changed = (flags & host_place_frame_changed) != 0;
  if (!(flags & host_place_keep_position) || frame_changed)
    host_deliver_event(HostEvent{window, HostEventType::moved, cx, cy});
  if (!(flags & host_place_keep_size) || frame_changed)
    host_deliver_event(HostEvent{window, HostEventType::resized, cw, ch});
}

void host_window_show(WindowHandle window, bool show) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return;
  window->visible = show;
  if (show)
    SDL_ShowWindow(backend->sdl);
  else
    SDL_HideWindow(backend->sdl);
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr || placement == nullptr) return false;
  int x, y, w, h;
  SDL_GetWindowPosition(backend->sdl, &x, &y);
  SDL_GetWindowSize(backend->sdl, &w, &h);
  placement->show = window->visible ? HostShowState::normal : HostShowState::hidden;
  placement->normal = HostRect{x, y, x + w, y + h};
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  if (sdl_window(window) == nullptr) return false;
  host_window_place(window, HostZOrder::unchanged, placement.normal.left, placement.normal.top,
                    placement.normal.width(), placement.normal.height(), 0);
  host_window_show(window, placement.show != HostShowState::hidden);
  return true;
}

// The window manager draws the frame outside the client area SDL sizes.
void host_adjust_window_rect(HostRect*, HostFrame) {}

int host_screen_client_width() {
  SDL_Rect bounds;
  if (!sdl_video_up() || SDL_GetDisplayUsableBounds(0, &bounds) != 0) return 0;
  return bounds.w;
}

int host_screen_client_height() {
  SDL_Rect bounds;
  if (!sdl_video_up() || SDL_GetDisplayUsableBounds(0, &bounds) != 0) return 0;
  return bounds.h;
}

int host_show_cursor(bool show) {
  cursor_display_count += show ? 1 : -1;
  if (sdl_video_up()) update_cursor();
  return cursor_display_count;
}

void host_set_cursor(bool arrow) {
  cursor_is_arrow = arrow;
  if (sdl_video_up()) update_cursor();
}

void host_begin_paint(WindowHandle window) { host_validate(window); }
void host_end_paint(WindowHandle window) { host_validate(window); }

HostCanvas* host_canvas_create(int width, int height) {
  // At most 2^28 pixels (1 GiB); larger pictures get no canvas rather than a failure.
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > (std::int64_t{1} << 28))
    return nullptr;
  std::unique_ptr<std::uint32_t[]> bits(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(width) * height]);
  if (!bits) return nullptr;
  auto* canvas = new HostCanvas;
  canvas->width = width;
  canvas->height = height;
  canvas->bits = std::move(bits);
  return canvas;
}

void host_canvas_destroy(HostCanvas* canvas) {
  if (canvas == nullptr) return;
  if (canvas->texture) SDL_DestroyTexture(canvas->texture);
  delete canvas;
}

std::uint32_t* host_canvas_bits(HostCanvas* canvas) {
  return canvas ? canvas->bits.get() : nullptr;
}

void host_paint_canvas(WindowHandle window, HostCanvas* canvas, int width, int height) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr || canvas == nullptr) return;
  if (canvas->texture == nullptr || canvas->owner != backend->renderer) {
    if (canvas->texture) SDL_DestroyTexture(canvas->texture);
    canvas->texture = SDL_CreateTexture(backend->renderer, SDL_PIXELFORMAT_ARGB8888,
                                        SDL_TEXTUREACCESS_STREAMING, canvas->width, canvas->height);
    canvas->owner = backend->renderer;
    if (canvas->texture == nullptr) return;
    SDL_SetTextureBlendMode(canvas->texture, SDL_BLENDMODE_NONE);
  }
  SDL_UpdateTexture(canvas->texture, nullptr, canvas->bits.get(), canvas->width * 4);
  // Window coordinates to output pixels (they differ on high-density screens).
  int window_w, window_h, output_w, output_h;
  SDL_GetWindowSize(backend->sdl, &window_w, &window_h);
  SDL_GetRendererOutputSize(backend->renderer, &output_w, &output_h);
  SDL_Rect destination{0, 0, width, height};
  if (window_w > 0 && window_h > 0) {
    destination.w = width * output_w / window_w;
    destination.h = height * output_h / window_h;
  }
  SDL_SetRenderDrawColor(backend->renderer, 0, 0, 0, 255);
  SDL_RenderClear(backend->renderer);
  // The canvas is bottom-up.
  SDL_RenderCopyEx(backend->renderer, canvas->texture, nullptr, &destination, 0.0, nullptr,
                   SDL_FLIP_VERTICAL);
  SDL_RenderPresent(backend->renderer);
}
