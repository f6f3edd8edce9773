// Windows and the message queue on the real platform: a thin pass-through. The window
// procedure the display logic gives is called from a platform window procedure that finds
// it in the window's user data.
#include <cstring>
#include <map>
#include <string>

#include "host/messages.h"
#include "host/window.h"
#include "host/win32/libraries.h"

namespace {

thread_local MSG last_message{};
// Procedures of registered classes, for windows created without one of their own.
std::map<std::string, WindowProc> class_procedures;

LRESULT CALLBACK window_trampoline(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto procedure = reinterpret_cast<WindowProc>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) reach no procedure of ours yet.
  if (procedure == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
  return procedure(win32_window(hwnd), message, wparam, lparam);
}

// The platform's message record for a host message: the one last fetched when it is that
// one (it carries time and cursor position), else a new one.
MSG platform_message(const HostMessage& message) {
  const MSG& last = last_message;
  if (last.hwnd == win32_hwnd(message.window) && last.message == message.message &&
      last.wParam == message.wparam && last.lParam == message.lparam)
    return last;
  MSG m{};
  m.hwnd = win32_hwnd(message.window);
  m.message = message.message;
  m.wParam = message.wparam;
  m.lParam = message.lparam;
  m.time = GetMessageTime();
  return m;
}

HWND z_order_handle(HostZOrder z_order) {
  switch (z_order) {
    case HostZOrder::top: return HWND_TOP;
    case HostZOrder::topmost: return HWND_TOPMOST;
    default: return nullptr;
  }
}

}  // namespace

// ---- Messages ---------------------------------------------------------------------------

std::intptr_t host_key_lparam(std::uint32_t scan_code, bool alt, bool repeat) {
  std::uintptr_t value = 1 | (static_cast<std::uintptr_t>(scan_code & 0xFF) << 16);
  if (alt) value |= std::uintptr_t{1} << 29;
  if (repeat) value |= std::uintptr_t{1} << 30;
  return static_cast<std::intptr_t>(value);
}

std::uint32_t host_map_virtual_key(std::uint32_t code, unsigned map_type) {
  return MapVirtualKeyA(code, map_type);
}

bool host_post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam) {
  // A null window would post to the calling thread's queue; the host interface refuses it.
  if (window == nullptr) return false;
  return PostMessageA(win32_hwnd(window), message, wparam, lparam) != 0;
}

std::intptr_t host_call_window_proc(WindowProc procedure, WindowHandle window,
                                    std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam) {
  // Our procedures are plain functions, not platform window procedures: call them directly.
  if (procedure == nullptr) return DefWindowProcA(win32_hwnd(window), message, wparam, lparam);
  return procedure(window, message, wparam, lparam);
}

void host_post_quit_message(int exit_code) { PostQuitMessage(exit_code); }

int host_get_message(HostMessage* message) {
  MSG m;
  BOOL result = GetMessageA(&m, nullptr, 0, 0);
  if (result == -1) return -1;
  last_message = m;
  *message = HostMessage{win32_window(m.hwnd), m.message, m.wParam, m.lParam};
  return result != 0 ? 1 : 0;
}

void host_translate_message(const HostMessage& message) {
  // Turns key-down messages into the character messages (WM_SYSCHAR for Alt+Enter).
  MSG m = platform_message(message);
  TranslateMessage(&m);
}

std::intptr_t host_dispatch_message(const HostMessage& message) {
  MSG m = platform_message(message);
  return DispatchMessageA(&m);
}

std::intptr_t host_send_message(WindowHandle window, std::uint32_t message,
                                std::uintptr_t wparam, std::intptr_t lparam) {
  if (window == nullptr) return 0;
  return SendMessageA(win32_hwnd(window), message, wparam, lparam);
}

std::intptr_t host_default_window_proc(WindowHandle window, std::uint32_t message,
                                       std::uintptr_t wparam, std::intptr_t lparam) {
  return DefWindowProcA(win32_hwnd(window), message, wparam, lparam);
}

// ---- Windows ----------------------------------------------------------------------------

bool host_register_window_class(const HostWindowClass& window_class) {
  const char* name = window_class.name ? window_class.name : "YOLGFX";
  class_procedures[name] = window_class.procedure;
  const BackendLibraries& gdi = load_backend_libraries();
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = window_trampoline;
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
    window_class.procedure = desc.procedure;
    if (!host_register_window_class(window_class)) return nullptr;
  }
  WindowProc procedure = desc.procedure;
  if (procedure == nullptr) {
    auto found = class_procedures.find(class_name);
    if (found != class_procedures.end()) procedure = found->second;
  }
  HWND hwnd = CreateWindowExA(0, class_name, desc.title ? desc.title : "", desc.style, desc.x,
                              desc.y, desc.width, desc.height, nullptr, nullptr, instance,
                              reinterpret_cast<void*>(procedure));
  return win32_window(hwnd);
}

void host_window_destroy(WindowHandle window) {
  if (window != nullptr) DestroyWindow(win32_hwnd(window));
}

std::uint32_t host_window_style(WindowHandle window) {
  return static_cast<std::uint32_t>(GetWindowLongA(win32_hwnd(window), GWL_STYLE));
}

void host_window_set_style(WindowHandle window, std::uint32_t style) {
  SetWindowLongA(win32_hwnd(window), GWL_STYLE, static_cast<LONG>(style));
}

void host_window_set_icon(WindowHandle window, IconHandle icon) {
  auto handle = reinterpret_cast<LPARAM>(icon);
  SendMessageA(win32_hwnd(window), WM_SETICON, ICON_BIG, handle);
  SendMessageA(win32_hwnd(window), WM_SETICON, ICON_SMALL, handle);
}

void host_window_set_pos(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                         int height, std::uint32_t flags) {
  UINT platform_flags = flags;
  if (z_order == HostZOrder::unchanged) platform_flags |= SWP_NOZORDER;
  SetWindowPos(win32_hwnd(window), z_order_handle(z_order), x, y, width, height, platform_flags);
}

void host_window_show(WindowHandle window, int show_command) {
  ShowWindow(win32_hwnd(window), show_command);
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(win32_hwnd(window), &wp)) return false;
  placement->show_command = static_cast<int>(wp.showCmd);
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
  wp.showCmd = static_cast<UINT>(placement.show_command);
  wp.rcNormalPosition = RECT{placement.normal.left, placement.normal.top,
                             placement.normal.right, placement.normal.bottom};
  return SetWindowPlacement(win32_hwnd(window), &wp) != 0;
}

void host_adjust_window_rect(HostRect* rect, std::uint32_t style) {
  RECT r{rect->left, rect->top, rect->right, rect->bottom};
  AdjustWindowRect(&r, style, FALSE);
  *rect = HostRect{r.left, r.top, r.right, r.bottom};
}

int host_system_metric(int index) { return GetSystemMetrics(index); }

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

bool host_get_update_rect(WindowHandle window) {
  return GetUpdateRect(win32_hwnd(window), nullptr, FALSE) != 0;
}
