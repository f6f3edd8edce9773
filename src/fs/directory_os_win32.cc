// The directory file system's primitives on the Win32 file functions (backslash paths).
// The Windows build compiles it in place of directory_os_posix.cc (see build.cmake).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/directory_os.h"
#include "fs/file_system.h"
#include "host/win32/win32.h"

namespace directory_os {
namespace {

HANDLE to_handle(Handle value) { return reinterpret_cast<HANDLE>(value); }

bool find_attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, data) != 0;
}

bool is_directory_path(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t split_size(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) + low;
}

}  // namespace

static_assert(sizeof(Handle) >= sizeof(HANDLE), "a stream must hold a whole HANDLE");

char separator() { return '\\'; }

// A drive ("C:") is never made. (UNC prefixes such as "\\" end in a separator, which the
// caller skips anyway.)
bool is_volume(const std::string& prefix) { return !prefix.empty() && prefix.back() == ':'; }

std::string current_directory() {
  char buffer[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

Handle open_file(const char* path, std::int32_t mode) {
  DWORD access, disposition;
  switch (mode) {
    case mode_read: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case mode_write: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    case mode_read_write: access = GENERIC_READ | GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    default: return no_handle;
  }
  // A directory is never a stream (some Win32 implementations open one for reading).
  if (is_directory_path(path)) return no_handle;
  HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return no_handle;
  return reinterpret_cast<Handle>(handle);
}

void close_file(Handle handle) { CloseHandle(to_handle(handle)); }

std::uint32_t read_some(Handle handle, void* buffer, std::uint32_t count) {
  DWORD got = 0;
  if (!ReadFile(to_handle(handle), buffer, count, &got, nullptr)) return 0;
  return got;
}

std::uint32_t write_some(Handle handle, const void* buffer, std::uint32_t count) {
  DWORD put = 0;
  if (!WriteFile(to_handle(handle), buffer, count, &put, nullptr)) return 0;
  return put;
}

std::uint64_t tell(Handle handle) {
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(to_handle(handle), zero, &at, FILE_CURRENT)) return size_unknown;
  return static_cast<std::uint64_t>(at.QuadPart);
}

std::uint64_t file_size(Handle handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(to_handle(handle), &size)) return size_unknown;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool seek(Handle handle, std::uint64_t position) {
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(to_handle(handle), target, nullptr, FILE_BEGIN) != 0;
}

// SetEndOfFile cuts at the file pointer.
bool truncate(Handle handle, std::uint64_t size) {
  return seek(handle, size) && SetEndOfFile(to_handle(handle)) != 0;
}

bool stat_path(const std::string& path, PathInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!find_attributes(path, &data)) return false;
  info->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->size = split_size(data.nFileSizeHigh, data.nFileSizeLow);
  return true;
}

bool make_directory(const std::string& path) {
  // Another process may make it at the same moment.
  return CreateDirectoryA(path.c_str(), nullptr) || is_directory_path(path);
}

bool remove_directory(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }
bool remove_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool list_directory(const std::string& path, std::vector<Entry>* entries) {
  std::string search = path + "*";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(search.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    entries->push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                        split_size(data.nFileSizeHigh, data.nFileSizeLow)});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

}  // namespace directory_os
