// SDL windows: creation, style, placement, cursor, the canvas paint, and the events that
// become window messages. Only the main thread calls SDL here.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

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

std::intptr_t pack(int low, int high) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                    ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16));
}

WindowHandle handle_of(Uint32 window_id) {
  SDL_Window* sdl = SDL_GetWindowFromID(window_id);
  return sdl ? static_cast<WindowHandle>(SDL_GetWindowData(sdl, "host")) : nullptr;
}

// Scan codes (set 1) of the SDL keys the program's messages can name.
std::uint32_t scan_code_of(SDL_Scancode code) {
  switch (code) {
    case SDL_SCANCODE_ESCAPE: return 0x01;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 0x1C;
    case SDL_SCANCODE_BACKSPACE: return 0x0E;
    case SDL_SCANCODE_TAB: return 0x0F;
    case SDL_SCANCODE_SPACE: return 0x39;
    default: break;
  }
  static const std::uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                           0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                           0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return letters[code - SDL_SCANCODE_A];
  if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) return 0x02 + (code - SDL_SCANCODE_1);
  return 0;
}

void post_key(WindowHandle window, const SDL_KeyboardEvent& key) {
  std::uint32_t scan = scan_code_of(key.keysym.scancode);
  bool alt = (key.keysym.mod & KMOD_ALT) != 0;
  bool repeat = key.repeat != 0;
  if (alt) {
    // Alt+Enter arrives as the system character of the Enter key, as on the original.
    if (scan == SCAN_RETURN)
      host_post_message(window, WM_SYSCHAR, '\r', host_key_lparam(scan, true, repeat));
    return;
  }
  std::uint32_t virtual_key = host_map_virtual_key(scan, MAPVK_VSC_TO_VK);
  if (virtual_key != 0)
    host_post_message(window, WM_KEYDOWN, virtual_key, host_key_lparam(scan, false, repeat));
}

}  // namespace

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
      if (window) host_post_message(window, WM_CLOSE, 0, 0);
      else host_post_quit_message(0);
      break;
    }
    case SDL_WINDOWEVENT: {
      WindowHandle window = handle_of(event.window.windowID);
      if (window == nullptr) break;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_MOVED:
          host_post_message(window, WM_MOVE, 0, pack(event.window.data1, event.window.data2));
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          host_post_message(window, WM_SIZE, 0, pack(event.window.data1, event.window.data2));
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          if (sdl_window(window)->fullscreen) {
            sdl_video_repaint();
          } else {
            host_post_message(window, WM_ERASEBKGND, 0, 0);
            host_invalidate(window);
          }
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          host_post_message(window, WM_ACTIVATEAPP, 1, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          host_post_message(window, WM_ACTIVATEAPP, 0, 0);
          break;
        case SDL_WINDOWEVENT_CLOSE:
          host_post_message(window, WM_CLOSE, 0, 0);
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
        host_post_message(window, WM_SETCURSOR, reinterpret_cast<std::uintptr_t>(window),
                          pack(static_cast<int>(HTCLIENT), 0x0200));
      break;
    default:
      break;
  }
}

int host_get_message(HostMessage* message) {
  if (!sdl_video_up()) return host_queue::get(message);
  sdl_video_loop_running(true);
  for (;;) {
    int result = host_queue::try_get(message);
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
  // X11 names windows after this when the video starts (their WM_CLASS).
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
  if ((desc.style & WS_POPUP) || !(desc.style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
  if (desc.style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
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
  if (icon) host_window_set_icon(window, icon);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  if (desc.style & WS_VISIBLE) SDL_ShowWindow(sdl);
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

std::uint32_t host_window_style(WindowHandle window) { return window ? window->style : 0; }

void host_window_set_style(WindowHandle window, std::uint32_t style) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return;
  std::uint32_t old = window->style;
  window->style = style;
  bool bordered = !(style & WS_POPUP) && (style & WS_CAPTION);
  SDL_SetWindowBordered(backend->sdl, bordered ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(backend->sdl, (style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
  if ((style & WS_VISIBLE) && !(old & WS_VISIBLE)) SDL_ShowWindow(backend->sdl);
  if (!(style & WS_VISIBLE) && (old & WS_VISIBLE)) SDL_HideWindow(backend->sdl);
}

void host_window_set_icon(WindowHandle window, IconHandle icon) {
  SdlWindow* backend = sdl_window(window);
  if (backend != nullptr && icon != nullptr && icon->surface != nullptr)
    SDL_SetWindowIcon(backend->sdl, icon->surface);
}

void host_window_set_pos(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                         int height, std::uint32_t flags) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return;
  if (flags & SWP_SHOWWINDOW) {
    window->style |= WS_VISIBLE;
    SDL_ShowWindow(backend->sdl);
  }
  // In full screen the window covers the desktop; the video shows the mode inside it.
  if (!backend->fullscreen) {
    if (!(flags & SWP_NOMOVE)) SDL_SetWindowPosition(backend->sdl, x, y);
    if (!(flags & SWP_NOSIZE)) SDL_SetWindowSize(backend->sdl, width > 0 ? width : 1, height > 0 ? height : 1);
  }
  if (z_order != HostZOrder::unchanged && (window->style & WS_VISIBLE)) SDL_RaiseWindow(backend->sdl);
  int cx, cy, cw, ch;
  SDL_GetWindowPosition(backend->sdl, &cx, &cy);
  SDL_GetWindowSize(backend->sdl, &cw, &ch);
  if (!(flags & SWP_NOMOVE) || (flags & SWP_FRAMECHANGED)) host_send_message(window, WM_MOVE, 0, pack(cx, cy));
  if (!(flags & SWP_NOSIZE) || (flags & SWP_FRAMECHANGED)) host_send_message(window, WM_SIZE, 0, pack(cw, ch));
}

void host_window_show(WindowHandle window, int show_command) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr) return;
  if (show_command == SW_HIDE) {
    window->style &= ~WS_VISIBLE;
    SDL_HideWindow(backend->sdl);
  } else {
    window->style |= WS_VISIBLE;
    SDL_ShowWindow(backend->sdl);
  }
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  SdlWindow* backend = sdl_window(window);
  if (backend == nullptr || placement == nullptr) return false;
  int x, y, w, h;
  SDL_GetWindowPosition(backend->sdl, &x, &y);
  SDL_GetWindowSize(backend->sdl, &w, &h);
  placement->show_command = (window->style & WS_VISIBLE) ? SW_SHOWNORMAL : SW_HIDE;
  placement->normal = HostRect{x, y, x + w, y + h};
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  if (sdl_window(window) == nullptr) return false;
  host_window_set_pos(window, HostZOrder::unchanged, placement.normal.left, placement.normal.top,
                      placement.normal.width(), placement.normal.height(), 0);
  host_window_show(window, placement.show_command);
  return true;
}

// The window manager draws the frame outside the client area SDL sizes.
void host_adjust_window_rect(HostRect*, std::uint32_t) {}

int host_system_metric(int index) {
  SDL_Rect bounds;
  if (!sdl_video_up() || SDL_GetDisplayUsableBounds(0, &bounds) != 0) return 0;
  if (index == SM_CXFULLSCREEN) return bounds.w;
  if (index == SM_CYFULLSCREEN) return bounds.h;
  return 0;
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
