// Windows and the message queue on the real platform: a thin pass-through. The window
// procedure the display logic gives is called from a platform window procedure that finds
// it in the window's user data.
#include "host/messages.h"
#include "host/window.h"
#include "host/win32/win32.h"

namespace {

thread_local MSG last_message{};

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

}  // namespace

bool host_post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam) {
  // A null window would post to the calling thread's queue; the host interface refuses it.
  if (window == nullptr) return false;
  return PostMessageA(win32_hwnd(window), message, wparam, lparam) != 0;
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

WindowHandle host_window_create(const HostWindowDesc& desc) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const char* class_name = desc.class_name ? desc.class_name : "YOLGFX";
  WNDCLASSA existing;
  if (!GetClassInfoA(instance, class_name, &existing)) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_trampoline;
    wc.hInstance = instance;
    wc.hIcon = reinterpret_cast<HICON>(const_cast<HostIcon*>(desc.icon));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = class_name;
    if (!RegisterClassA(&wc)) return nullptr;
  }
  HWND hwnd = CreateWindowExA(0, class_name, desc.title ? desc.title : "", desc.style, desc.x,
                              desc.y, desc.width, desc.height, nullptr, nullptr, instance,
                              reinterpret_cast<void*>(desc.procedure));
  return win32_window(hwnd);
}

void host_window_destroy(WindowHandle window) {
  if (window == nullptr) return;
  DestroyWindow(win32_hwnd(window));
}
