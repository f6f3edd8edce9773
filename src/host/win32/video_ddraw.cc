// Full screen through DirectDraw (DDRAW.DLL loaded at run time): the first-version
// interfaces, exclusive mode, a real mode switch, a primary surface with one back buffer.
#include <cstring>

#include "host/video.h"
#include "host/win32/libraries.h"

#include <ddraw.h>

namespace {

IDirectDraw* direct_draw = nullptr;
IDirectDrawSurface* primary_surface = nullptr;
IDirectDrawSurface* back_surface = nullptr;

HRESULT WINAPI collect_mode(DDSURFACEDESC* desc, void* context) {
  auto* modes = static_cast<std::vector<HostDisplayMode>*>(context);
  modes->push_back(HostDisplayMode{static_cast<int>(desc->dwWidth),
                                   static_cast<int>(desc->dwHeight),
                                   static_cast<int>(desc->ddpfPixelFormat.dwRGBBitCount)});
  return DDENUMRET_OK;
}

void clear_surface(IDirectDrawSurface* surface) {
  if (surface == nullptr) return;
  DDBLTFX effects;
  std::memset(&effects, 0, sizeof effects);
  effects.dwSize = sizeof effects;
  effects.dwFillColor = 0;
  surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects);
}

void release_surfaces() {
  // The attached back buffer goes with the primary surface.
  if (primary_surface != nullptr) primary_surface->Release();
  primary_surface = nullptr;
  back_surface = nullptr;
}

}  // namespace

// DirectDraw gives only a result code; the message box says the rest.
const char* host_video_error() { return ""; }

bool host_video_open() {
  if (direct_draw != nullptr) return true;
  const BackendLibraries& lib = load_backend_libraries();
  if (lib.direct_draw_create == nullptr) return false;
  if (FAILED(lib.direct_draw_create(nullptr, &direct_draw, nullptr))) {
    direct_draw = nullptr;
    return false;
  }
  return true;
}

void host_video_close() {
  release_surfaces();
  if (direct_draw != nullptr) direct_draw->Release();
  direct_draw = nullptr;
}

std::vector<HostDisplayMode> host_video_modes() {
  std::vector<HostDisplayMode> modes;
  if (direct_draw != nullptr) direct_draw->EnumDisplayModes(0, nullptr, &modes, collect_mode);
  return modes;
}

bool host_video_enter_fullscreen(WindowHandle window, const HostDisplayMode& mode) {
  if (direct_draw == nullptr) return false;
  release_surfaces();
  direct_draw->SetCooperativeLevel(win32_hwnd(window),
                                   DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT);
  direct_draw->SetDisplayMode(static_cast<DWORD>(mode.width), static_cast<DWORD>(mode.height),
                              static_cast<DWORD>(mode.bits_per_pixel));
  DDSURFACEDESC desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  desc.dwBackBufferCount = 1;
  if (FAILED(direct_draw->CreateSurface(&desc, &primary_surface, nullptr))) {
    primary_surface = nullptr;
    return false;
  }
  DDSCAPS caps;
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  if (FAILED(primary_surface->GetAttachedSurface(&caps, &back_surface))) {
    release_surfaces();
    return false;
  }
  host_video_clear();
  return true;
}

void host_video_leave_fullscreen(WindowHandle window) {
  release_surfaces();
  if (direct_draw == nullptr) return;
  direct_draw->RestoreDisplayMode();
  direct_draw->SetCooperativeLevel(win32_hwnd(window), DDSCL_NORMAL);
}

bool host_video_lock_back(HostLockedSurface* surface) {
  if (back_surface == nullptr) return false;
  DDSURFACEDESC desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  if (FAILED(back_surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr)))
    return false;
  surface->pixels = desc.lpSurface;
  surface->width = static_cast<int>(desc.dwWidth);
  surface->height = static_cast<int>(desc.dwHeight);
  surface->pitch = static_cast<int>(desc.lPitch);
  surface->bits_per_pixel = static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount);
  surface->green_mask = desc.ddpfPixelFormat.dwGBitMask;
  return true;
}

void host_video_unlock_back() {
  if (back_surface != nullptr) back_surface->Unlock(nullptr);
}

void host_video_flip() {
  if (primary_surface != nullptr) primary_surface->Flip(nullptr, DDFLIP_WAIT);
}

bool host_video_lost() {
  if (primary_surface == nullptr) return false;
  return primary_surface->IsLost() != DD_OK || back_surface->IsLost() != DD_OK;
}

void host_video_restore() {
  if (primary_surface != nullptr) primary_surface->Restore();
  if (back_surface != nullptr) back_surface->Restore();
}

void host_video_clear() {
  clear_surface(primary_surface);
  clear_surface(back_surface);
}

// Presentation runs on the render thread directly; nothing waits for the main thread.
void host_video_service() {}
