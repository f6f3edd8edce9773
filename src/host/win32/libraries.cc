// The back-end libraries, loaded by name in a fixed order: MSVFW32, GDI32, DDRAW.
#include "host/win32/libraries.h"

#include <cstring>

namespace {

struct Entry {
  const char* name;
  void* slot;  // a function pointer of the matching type
};

struct Library {
  const char* name;
  const Entry* entries;  // ends with an empty entry
};

BackendLibraries load() {
  BackendLibraries t;
  const Entry vfw[] = {{"DrawDibOpen", static_cast<void*>(&t.draw_dib_open)},
                       {"DrawDibDraw", static_cast<void*>(&t.draw_dib_draw)},
                       {"DrawDibClose", static_cast<void*>(&t.draw_dib_close)},
                       {nullptr, nullptr}};
  const Entry gdi[] = {{"CreateDIBSection", static_cast<void*>(&t.create_dib_section)},
                       {"DeleteObject", static_cast<void*>(&t.delete_object)},
                       {"GetStockObject", static_cast<void*>(&t.get_stock_object)},
                       {nullptr, nullptr}};
  const Entry ddraw[] = {{"DirectDrawCreate", static_cast<void*>(&t.direct_draw_create)},
                         {nullptr, nullptr}};
  const Library libraries[] = {{"MSVFW32.DLL", vfw}, {"GDI32.DLL", gdi}, {"DDRAW.DLL", ddraw}};
  for (const Library& library : libraries) {
    // The modules stay loaded for the process's life.
    HMODULE module = LoadLibraryA(library.name);
    if (module == nullptr) continue;
    for (const Entry* e = library.entries; e->name != nullptr; ++e) {
      FARPROC address = GetProcAddress(module, e->name);
      std::memcpy(e->slot, &address, sizeof address);
    }
  }
  return t;
}

}  // namespace

const BackendLibraries& load_backend_libraries() {
  static const BackendLibraries table = load();
  return table;
}
