// The windowed canvas: a GDI DIB section of the content size (bottom-up, 32 bits) painted
// stretched into the client area with DrawDib, both loaded at run time.
#include <cstring>
#include <new>

#include "host/window.h"
#include "host/win32/libraries.h"

struct HostCanvas {
  HBITMAP section = nullptr;
  void* bits = nullptr;
  BITMAPINFOHEADER header{};
  HANDLE draw_dib = nullptr;
};

namespace {

// The paint in progress (main thread only, one at a time).
HWND painting_window = nullptr;
PAINTSTRUCT paint{};

}  // namespace

HostCanvas* host_canvas_create(int width, int height) {
  const BackendLibraries& lib = load_backend_libraries();
  if (width <= 0 || height <= 0 || lib.create_dib_section == nullptr ||
      lib.delete_object == nullptr || lib.draw_dib_open == nullptr ||
      lib.draw_dib_draw == nullptr || lib.draw_dib_close == nullptr)
    return nullptr;
  auto* canvas = new (std::nothrow) HostCanvas;
  if (canvas == nullptr) return nullptr;
  BITMAPINFOHEADER& h = canvas->header;
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;  // positive: rows stored bottom-up
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = BI_RGB;
  h.biSizeImage = 0;
  h.biXPelsPerMeter = 1;
  h.biYPelsPerMeter = 1;
  // No window exists yet: the screen's device context.
  HDC screen = GetDC(nullptr);
  canvas->section = lib.create_dib_section(screen, reinterpret_cast<BITMAPINFO*>(&h),
                                           DIB_RGB_COLORS, &canvas->bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  canvas->draw_dib = lib.draw_dib_open();
  if (canvas->section == nullptr || canvas->bits == nullptr || canvas->draw_dib == nullptr) {
    host_canvas_destroy(canvas);
    return nullptr;
  }
  std::memset(canvas->bits, 0, static_cast<std::size_t>(width) * height * 4);
  return canvas;
}

void host_canvas_destroy(HostCanvas* canvas) {
  if (canvas == nullptr) return;
  const BackendLibraries& lib = load_backend_libraries();
  if (canvas->draw_dib != nullptr) lib.draw_dib_close(canvas->draw_dib);
  if (canvas->section != nullptr) lib.delete_object(canvas->section);
  delete canvas;
}

std::uint32_t* host_canvas_bits(HostCanvas* canvas) {
  return canvas != nullptr ? static_cast<std::uint32_t*>(canvas->bits) : nullptr;
}

void host_begin_paint(WindowHandle window) {
  painting_window = win32_hwnd(window);
  BeginPaint(painting_window, &paint);
}

void host_end_paint(WindowHandle window) {
  EndPaint(win32_hwnd(window), &paint);
  painting_window = nullptr;
}

void host_paint_canvas(WindowHandle window, HostCanvas* canvas, int width, int height) {
  if (canvas == nullptr || win32_hwnd(window) != painting_window) return;
  load_backend_libraries().draw_dib_draw(canvas->draw_dib, paint.hdc, 0, 0, width, height,
                                         &canvas->header, canvas->bits, 0, 0,
                                         canvas->header.biWidth, canvas->header.biHeight, 0);
}
