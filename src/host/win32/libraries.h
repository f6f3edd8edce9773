// GDI32, MSVFW32 and DDRAW entry points, loaded at run time by name so the program imports
// only KERNEL32, USER32 and WINMM. Include after every host/ header (see win32.h).
#pragma once

#include "host/win32/win32.h"

struct IDirectDraw;

using CreateDIBSectionFn = HBITMAP(WINAPI*)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
using DeleteObjectFn = BOOL(WINAPI*)(HGDIOBJ);
using GetStockObjectFn = HGDIOBJ(WINAPI*)(int);
using DrawDibOpenFn = HANDLE(WINAPI*)();
using DrawDibDrawFn = BOOL(WINAPI*)(HANDLE, HDC, int, int, int, int, BITMAPINFOHEADER*, void*,
                                    int, int, int, int, UINT);
using DrawDibCloseFn = BOOL(WINAPI*)(HANDLE);
using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, IDirectDraw**, void*);

struct BackendLibraries {
  DrawDibOpenFn draw_dib_open = nullptr;
  DrawDibDrawFn draw_dib_draw = nullptr;
  DrawDibCloseFn draw_dib_close = nullptr;
  CreateDIBSectionFn create_dib_section = nullptr;
  DeleteObjectFn delete_object = nullptr;
  GetStockObjectFn get_stock_object = nullptr;
  DirectDrawCreateFn direct_draw_create = nullptr;
};

// Loads the libraries once (any later call returns the same table). Entries stay null
// when a library or a function is missing; the callers check what they use.
const BackendLibraries& load_backend_libraries();
