// Window creation and handling. The display window logic (src/display/) is the only user.
#pragma once

#include <cstdint>

#include "host/messages.h"

struct HostWindowDesc {
  const char* class_name = "YOLGFX";
  const char* title = "";
  IconHandle icon = nullptr;
  std::uint32_t style = 0;  // window style bits of the original platform (WS_*)
  int x = 0, y = 0;
  int width = 0, height = 0;  // outer size
  WindowProc procedure = nullptr;
};

WindowHandle host_window_create(const HostWindowDesc& desc);
void host_window_destroy(WindowHandle window);
