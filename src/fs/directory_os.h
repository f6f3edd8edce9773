// The operating system primitives under DirectoryFileSystem and FileStream. The portable
// rules (path mapping, directory creation and pruning, masks, stream modes) live in
// directory_fs.cc; each platform implements only these calls: POSIX in
// directory_os_posix.cc, Win32 in directory_os_win32.cc.
// Internal to kestol_fs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace directory_os {

// A file descriptor (POSIX) or a HANDLE (Win32), wide enough for both.
using Handle = std::intptr_t;
inline constexpr Handle no_handle = -1;

// The separator of host paths ('/' or '\\').
char separator();
// True for a path prefix that names a volume rather than a directory ("C:" on Win32).
bool is_volume(const std::string& prefix);
// The current directory, or "" when it cannot be told.
std::string current_directory();

// Opens a file (never a directory) in one of the stream modes; write modes create the
// file. no_handle on failure.
Handle open_file(const char* path, std::int32_t mode);
void close_file(Handle handle);
// One transfer of up to count bytes; 0 at the end of the file or on an error.
std::uint32_t read_some(Handle handle, void* buffer, std::uint32_t count);
std::uint32_t write_some(Handle handle, const void* buffer, std::uint32_t count);
// The position and size, or size_unknown.
std::uint64_t tell(Handle handle);
std::uint64_t file_size(Handle handle);
bool seek(Handle handle, std::uint64_t position);
// Makes the file end at size (the position may move there).
bool truncate(Handle handle, std::uint64_t size);

struct PathInfo {
  bool directory;
  std::uint64_t size;  // of a file
};
bool stat_path(const std::string& path, PathInfo* info);
// True when the directory was made or already exists.
bool make_directory(const std::string& path);
bool remove_directory(const std::string& path);
bool remove_file(const std::string& path);

struct Entry {
  std::string name;
  bool directory;
  std::uint64_t size;  // of a file
};
// The entries of a directory (path ends with the separator) without "." and "..", in the
// order the host gives them; false when the directory cannot be read.
bool list_directory(const std::string& path, std::vector<Entry>* entries);

}  // namespace directory_os
