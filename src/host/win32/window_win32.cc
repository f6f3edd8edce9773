// Windows and their events on the real platform. A platform window procedure turns the
// window messages into the engine's events for the handler it finds in the window's user
// data, and does the platform's default for whatever the handler leaves.
#include <cstring>

#include "host/window.h"
#include "host/win32/libraries.h"

namespace {

// Events other than a close travel through the queue as this private message: the type in
// wParam, x and y in the low and high word of lParam.
constexpr UINT kEventMessage = WM_APP + 0x16;

std::int32_t low_word(LPARAM value) { return static_cast<std::int16_t>(value & 0xFFFF); }
std::int32_t high_word(LPARAM value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

LPARAM pack(int low, int high) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                             ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16));
}

// The engine event a window message means, if any.
bool translate(UINT message, WPARAM wparam, LPARAM lparam, HostEventType* type, int* x, int* y) {
  switch (message) {
    case WM_MOVE:
      *type = HostEventType::moved;
      *x = low_word(lparam);
      *y = high_word(lparam);
      return true;
    case WM_SIZE:
      *type = HostEventType::resized;
      *x = low_word(lparam) & 0xFFFF;
      *y = high_word(lparam) & 0xFFFF;
      return true;
    case WM_PAINT: *type = HostEventType::paint; return true;
    case WM_CLOSE: *type = HostEventType::close_requested; return true;
    case WM_ERASEBKGND: *type = HostEventType::erase_background; return true;
    case WM_ACTIVATEAPP:
      *type = wparam != 0 ? HostEventType::activated : HostEventType::deactivated;
      return true;
    case WM_SETCURSOR: *type = HostEventType::pointer_over_window; return true;
    case WM_KEYDOWN:
      if (wparam != VK_ESCAPE) return false;
      *type = HostEventType::escape;
      return true;
    case WM_SYSCHAR:
      // Alt+Enter: the system character of a key whose scan code is the Enter key's.
      if ((lparam & (LPARAM{1} << 29)) == 0 ||
          MapVirtualKeyA(static_cast<UINT>((lparam >> 16) & 0x7F), MAPVK_VSC_TO_VK) != VK_RETURN)
        return false;
      *type = HostEventType::toggle_fullscreen;
      return true;
    case kEventMessage:
      *type = static_cast<HostEventType>(wparam);
      *x = low_word(lparam);
      *y = high_word(lparam);
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto handler = reinterpret_cast<WindowEventHandler>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) reach no handler of ours yet.
  HostEvent event;
  if (handler == nullptr || !translate(message, wparam, lparam, &event.type, &event.x, &event.y))
    return DefWindowProcA(hwnd, message, wparam, lparam);
  event.window = win32_window(hwnd);
  if (handler(event)) return 0;
  if (message == kEventMessage) return 0;
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

HWND z_order_handle(HostZOrder z_order) {
  switch (z_order) {
    case HostZOrder::top: return HWND_TOP;
    case HostZOrder::topmost: return HWND_TOPMOST;
    default: return nullptr;
  }
}

DWORD style_of(HostFrame frame) { return frame == HostFrame::popup ? WS_POPUP : WS_OVERLAPPEDWINDOW; }

}  // namespace

// ---- Events -----------------------------------------------------------------------------

bool host_post_event(WindowHandle window, HostEventType type, int x, int y) {
  // A null window would post to the calling thread's queue; the host interface refuses it.
  if (window == nullptr) return false;
  if (type == HostEventType::close_requested)
    return PostMessageA(win32_hwnd(window), WM_CLOSE, 0, 0) != 0;
  return PostMessageA(win32_hwnd(window), kEventMessage, static_cast<WPARAM>(type), pack(x, y)) != 0;
}

void host_post_quit(int exit_code) { PostQuitMessage(exit_code); }

int host_run_event_loop() {
  MSG message{};
  BOOL result;
  while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    // Turns key-down messages into the character messages (WM_SYSCHAR for Alt+Enter).
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return result == -1 ? -1 : static_cast<int>(message.wParam);
}

// ---- Windows ----------------------------------------------------------------------------

bool host_register_window_class(const HostWindowClass& window_class) {
  const char* name = window_class.name ? window_class.name : "YOLGFX";
  const BackendLibraries& gdi = load_backend_libraries();
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = window_procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = reinterpret_cast<HICON>(const_cast<HostIcon*>(window_class.icon));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = gdi.get_stock_object != nullptr
                         ? static_cast<HBRUSH>(gdi.get_stock_object(BLACK_BRUSH)) : nullptr;
  wc.lpszClassName = name;
  // A second display in the same process finds the class there already.
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowHandle host_window_create(const HostWindowDesc& desc) {
  const char* class_name = desc.class_name ? desc.class_name : "YOLGFX";
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA existing;
  if (!GetClassInfoA(instance, class_name, &existing)) {
    HostWindowClass window_class;
    window_class.name = class_name;
    window_class.icon = desc.icon;
    if (!host_register_window_class(window_class)) return nullptr;
  }
  HWND hwnd = CreateWindowExA(0, class_name, desc.title ? desc.title : "", style_of(desc.frame),
                              desc.x, desc.y, desc.width, desc.height, nullptr, nullptr, instance,
                              reinterpret_cast<void*>(desc.handler));
  return win32_window(hwnd);
}

void host_window_destroy(WindowHandle window) {
  if (window != nullptr) DestroyWindow(win32_hwnd(window));
}

bool host_window_set_frame(WindowHandle window, HostFrame frame) {
  DWORD old_style = static_cast<DWORD>(GetWindowLongA(win32_hwnd(window), GWL_STYLE));
  // A framed window keeps its other bits (visibility among them); a popup is shown.
  DWORD style = frame == HostFrame::framed ? (old_style & ~WS_POPUP) | WS_OVERLAPPEDWINDOW
                                           : WS_POPUP | WS_VISIBLE;
  if (style == old_style) return false;
  SetWindowLongA(win32_hwnd(window), GWL_STYLE, static_cast<LONG>(style));
  return true;
}

void host_window_reset_icon(WindowHandle window, IconHandle icon) {
  SendMessageA(win32_hwnd(window), WM_SETICON, ICON_SMALL, 0);
  SendMessageA(win32_hwnd(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void host_window_place(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                       int height, std::uint32_t flags) {
  UINT platform_flags = 0;
  if (flags & host_place_keep_size) platform_flags |= SWP_NOSIZE;
  if (flags & host_place_keep_position) platform_flags |= SWP_NOMOVE;
  if (flags & host_place_frame_changed) platform_flags |= SWP_FRAMECHANGED;
  if (flags & host_place_show) platform_flags |= SWP_SHOWWINDOW;
  if (z_order == HostZOrder::unchanged) platform_flags |= SWP_NOZORDER;
  SetWindowPos(win32_hwnd(window), z_order_handle(z_order), x, y, width, height, platform_flags);
}

void host_window_show(WindowHandle window, bool show) {
  ShowWindow(win32_hwnd(window), show ? SW_SHOWNORMAL : SW_HIDE);
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(win32_hwnd(window), &wp)) return false;
  switch (wp.showCmd) {
    case SW_HIDE: placement->show = HostShowState::hidden; break;
    case SW_SHOWMINIMIZED: placement->show = HostShowState::minimized; break;
    case SW_SHOWMAXIMIZED: placement->show = HostShowState::maximized; break;
    default: placement->show = HostShowState::normal; break;
  }
  placement->normal = HostRect{wp.rcNormalPosition.left, wp.rcNormalPosition.top,
                               wp.rcNormalPosition.right, wp.rcNormalPosition.bottom};
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  // Keep the minimised and maximised positions the window has; set the rest.
  GetWindowPlacement(win32_hwnd(window), &wp);
  wp.length = sizeof wp;
  wp.flags = 0;
  switch (placement.show) {
    case HostShowState::hidden: wp.showCmd = SW_HIDE; break;
    case HostShowState::minimized: wp.showCmd = SW_SHOWMINIMIZED; break;
    case HostShowState::maximized: wp.showCmd = SW_SHOWMAXIMIZED; break;
    default: wp.showCmd = SW_SHOWNORMAL; break;
  }
  wp.rcNormalPosition = RECT{placement.normal.left, placement.normal.top,
                             placement.normal.right, placement.normal.bottom};
  return SetWindowPlacement(win32_hwnd(window), &wp) != 0;
}

void host_adjust_window_rect(HostRect* rect, HostFrame frame) {
  RECT r{rect->left, rect->top, rect->right, rect->bottom};
  AdjustWindowRect(&r, style_of(frame), FALSE);
  *rect = HostRect{r.left, r.top, r.right, r.bottom};
}

int host_screen_client_width() { return GetSystemMetrics(SM_CXFULLSCREEN); }
int host_screen_client_height() { return GetSystemMetrics(SM_CYFULLSCREEN); }

int host_show_cursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

void host_set_cursor(bool arrow) {
  SetCursor(arrow ? LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)) : nullptr);
}

void host_invalidate(WindowHandle window) {
  if (window != nullptr) InvalidateRect(win32_hwnd(window), nullptr, FALSE);
}

void host_validate(WindowHandle window) {
  if (window != nullptr) ValidateRect(win32_hwnd(window), nullptr);
}

bool host_needs_paint(WindowHandle window) {
  return GetUpdateRect(win32_hwnd(window), nullptr, FALSE) != 0;
}
