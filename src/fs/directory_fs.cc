// DirectoryFileSystem, FileStream and DirectoryFinder on POSIX.
#include "fs/directory_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace {

bool is_directory_path(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Every "/" of the path names a directory that must exist or be made.
bool create_directories(const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string prefix = path.substr(0, i);
    if (is_directory_path(prefix)) continue;
    if (::mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && is_directory_path(prefix)))
      return false;
  }
  return true;
}

}  // namespace

// ---- FileStream ----------------------------------------------------------------------

FileStream* FileStream::open_host(const char* path, std::int32_t mode, const NameString& name,
                                  FileSystem* owner) {
  int flags;
  switch (mode) {
    case mode_read: flags = O_RDONLY; break;
    case mode_write: flags = O_WRONLY | O_CREAT; break;
    case mode_read_write: flags = O_RDWR | O_CREAT; break;
    default: return nullptr;
  }
  int handle;
  do handle = ::open(path, flags | O_CLOEXEC, 0666);
  while (handle < 0 && errno == EINTR);
  if (handle < 0) return nullptr;
  struct stat info;
  if (::fstat(handle, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(handle);
    return nullptr;
  }
  return new FileStream(handle, name, mode, owner);
}

FileStream::~FileStream() { ::close(handle_); }

std::uint32_t FileStream::read(void* buffer, std::uint32_t count) {
  if (mode == mode_write) return 0;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    std::size_t ask = std::min<std::size_t>(count - done, 1u << 30);
    ssize_t n = ::read(handle_, out + done, ask);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  return done;
}

std::uint32_t FileStream::write(const void* buffer, std::uint32_t count) {
  if (mode == mode_read) return 0;
  auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    std::size_t ask = std::min<std::size_t>(count - done, 1u << 30);
    ssize_t n = ::write(handle_, in + done, ask);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  return done;
}

std::uint64_t FileStream::tell() {
  off_t at = ::lseek(handle_, 0, SEEK_CUR);
  return at < 0 ? size_unknown : static_cast<std::uint64_t>(at);
}

bool FileStream::seek(std::uint64_t position) {
  std::uint64_t end = size();
  if (end == size_unknown || position > end) return false;
  return ::lseek(handle_, static_cast<off_t>(position), SEEK_SET) >= 0;
}

std::uint64_t FileStream::size() {
  struct stat info;
  if (::fstat(handle_, &info) != 0) return size_unknown;
  return static_cast<std::uint64_t>(info.st_size);
}

bool FileStream::set_size(std::uint64_t new_size) {
  if (mode == mode_read) return false;
  std::uint64_t was = tell();
  bool cut = seek(new_size) && ::ftruncate(handle_, static_cast<off_t>(new_size)) == 0;
  std::uint64_t end = size();
  seek(was != size_unknown && was < end ? was : end);
  return cut;
}

// ---- DirectoryFinder -----------------------------------------------------------------

NameString DirectoryFinder::name() {
  std::string text(prefix_.view());
  text += matches_[index_].name.view();
  return NameString(text);
}

std::uint64_t DirectoryFinder::size() { return matches_[index_].size; }
bool DirectoryFinder::is_directory() { return matches_[index_].directory; }

bool DirectoryFinder::next() {
  if (index_ + 1 >= matches_.size()) return false;
  ++index_;
  return true;
}

// ---- DirectoryFileSystem -------------------------------------------------------------

DirectoryFileSystem::DirectoryFileSystem(const NameString& root) {
  std::string text(root.view());
  if (text.empty()) {
    char buffer[PATH_MAX];
    // Without a current directory, relative names still resolve against "." .
    text = ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : ".";
  }
  if (text.back() != '/') text += '/';
  root_ = NameString(text);
}

std::string DirectoryFileSystem::disk_path(const NameString& name) const {
  std::string_view s = name.view();
  while (!s.empty() && s.front() == '/') s.remove_prefix(1);
  std::string path(root_.view());
  path += s;
  return path;
}

Stream* DirectoryFileSystem::open(const NameString& name, std::int32_t mode) {
  if (!validate_path(name, false)) return nullptr;
  std::string path = disk_path(name);
  Stream* stream = FileStream::open_host(path.c_str(), mode, name, this);
  if (stream != nullptr || mode == mode_read) return stream;
  if (!create_directories(path)) return nullptr;
  return FileStream::open_host(path.c_str(), mode, name, this);
}

std::int32_t DirectoryFileSystem::reserved(const NameString& name, std::int32_t) {
  validate_path(name, false);
  return 0;
}

std::uint64_t DirectoryFileSystem::file_size(const NameString& name) {
  if (!validate_path(name, false)) return 0;
  struct stat info;
  if (::stat(disk_path(name).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool DirectoryFileSystem::is_file(const NameString& name) {
  if (!validate_path(name, false)) return false;
  struct stat info;
  return ::stat(disk_path(name).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryFileSystem::remove(const NameString& name) {
  if (!validate_path(name, false)) return false;
  std::string path = disk_path(name);
  if (is_directory_path(path) || ::unlink(path.c_str()) != 0) return false;
  // Prune the directories this removal emptied, up to but not including the root.
  NameString p = directory_part(name);
  while (!p.empty()) {
    NameString dir(p.view().substr(0, p.view().size() - 1));
    std::string dir_path = disk_path(dir);
    if (dir_path.size() <= root_.view().size()) break;  // a leading "/" names the root
    if (::rmdir(dir_path.c_str()) != 0) break;
    p = directory_part(dir);
  }
  return true;
}

FileFinder* DirectoryFileSystem::find_first(const NameString& pattern) {
  if (!validate_path(pattern, true)) return nullptr;
  NameString prefix = directory_part(pattern);
  std::string mask(pattern.view().substr(prefix.view().size()));
  std::string dir_path = disk_path(prefix);
  DIR* dir = ::opendir(dir_path.c_str());
  if (dir == nullptr) return nullptr;
  std::vector<DirectoryFinder::Match> matches;
  while (dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info;
    if (::stat((dir_path + entry->d_name).c_str(), &info) != 0) continue;
    bool directory = S_ISDIR(info.st_mode);
    // Directories are matched as "/name", as the pak file system lists them.
    std::string key = directory ? std::string("/") + entry->d_name : entry->d_name;
    if (!pattern_match(key.c_str(), mask.c_str())) continue;
    matches.push_back({NameString(entry->d_name),
                       directory ? 0 : static_cast<std::uint64_t>(info.st_size), directory});
  }
  ::closedir(dir);
  if (matches.empty()) return nullptr;
  std::sort(matches.begin(), matches.end(),
            [](const auto& a, const auto& b) { return a.name.view() < b.name.view(); });
  return new DirectoryFinder(std::move(prefix), std::move(matches));
}

bool DirectoryFileSystem::find_next(FileFinder* finder) {
  return finder != nullptr && static_cast<DirectoryFinder*>(finder)->next();
}

void DirectoryFileSystem::find_close(FileFinder* finder) { delete finder; }
