// The directory file system's primitives on POSIX. The Windows build replaces this file
// with directory_os_win32.cc.
// 64-bit sizes, positions and inode numbers in the C library also on 32-bit Linux (a no-op
// on 64-bit systems): without them stat fails on files from 2 GiB, positions past 4 GiB
// wrap, and readdir gives up where inode numbers or directory offsets exceed 32 bits.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "fs/directory_os.h"
#include "fs/file_system.h"

static_assert(sizeof(off_t) == 8, "file positions must be 64-bit");

namespace directory_os {
namespace {

int fd(Handle handle) { return static_cast<int>(handle); }

bool is_directory_path(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

char separator() { return '/'; }
bool is_volume(const std::string&) { return false; }

std::string current_directory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

Handle open_file(const char* path, std::int32_t mode) {
  int flags;
  switch (mode) {
    case mode_read: flags = O_RDONLY; break;
    case mode_write: flags = O_WRONLY | O_CREAT; break;
    case mode_read_write: flags = O_RDWR | O_CREAT; break;
    default: return no_handle;
  }
  int handle;
  do handle = ::open(path, flags | O_CLOEXEC, 0666);
  while (handle < 0 && errno == EINTR);
  if (handle < 0) return no_handle;
  struct stat info;
  if (::fstat(handle, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(handle);
    return no_handle;
  }
  return handle;
}

void close_file(Handle handle) { ::close(fd(handle)); }

std::uint32_t read_some(Handle handle, void* buffer, std::uint32_t count) {
  std::size_t ask = std::min<std::size_t>(count, 1u << 30);
  for (;;) {
    ssize_t n = ::read(fd(handle), buffer, ask);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::uint32_t>(n) : 0;
  }
}

std::uint32_t write_some(Handle handle, const void* buffer, std::uint32_t count) {
  std::size_t ask = std::min<std::size_t>(count, 1u << 30);
  for (;;) {
    ssize_t n = ::write(fd(handle), buffer, ask);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::uint32_t>(n) : 0;
  }
}

std::uint64_t tell(Handle handle) {
  off_t at = ::lseek(fd(handle), 0, SEEK_CUR);
  return at < 0 ? size_unknown : static_cast<std::uint64_t>(at);
}

std::uint64_t file_size(Handle handle) {
  struct stat info;
  if (::fstat(fd(handle), &info) != 0) return size_unknown;
  return static_cast<std::uint64_t>(info.st_size);
}

bool seek(Handle handle, std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return ::lseek(fd(handle), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool truncate(Handle handle, std::uint64_t size) {
  if (size > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return ::ftruncate(fd(handle), static_cast<off_t>(size)) == 0;
}

bool stat_path(const std::string& path, PathInfo* info) {
  struct stat data;
  if (::stat(path.c_str(), &data) != 0) return false;
  info->directory = S_ISDIR(data.st_mode);
  info->size = static_cast<std::uint64_t>(data.st_size);
  return true;
}

bool make_directory(const std::string& path) {
  // Another process may make it at the same moment.
  return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && is_directory_path(path));
}

bool remove_directory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }
bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool list_directory(const std::string& path, std::vector<Entry>* entries) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return false;
  // readdir ends the list and fails alike, with a null entry; only errno tells them apart.
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno == 0) break;
      ::closedir(dir);
      return false;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info;
    if (::stat((path + entry->d_name).c_str(), &info) != 0) continue;
    entries->push_back({entry->d_name, S_ISDIR(info.st_mode),
                        static_cast<std::uint64_t>(info.st_size)});
  }
  ::closedir(dir);
  return true;
}

}  // namespace directory_os
