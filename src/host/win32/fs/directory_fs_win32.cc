// DirectoryFileSystem, FileStream and DirectoryFinder on the Win32 file functions, with
// backslash paths. The Windows build compiles this file into kestol_fs instead of the
// POSIX one (see build.cmake); the classes and their behaviour are the same.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/directory_fs.h"
#include "host/win32/win32.h"

namespace {

// The stream keeps the platform handle in its int. Kernel handles carry 32 significant
// bits on 64-bit Windows too, which documents truncating and sign-extending them as safe.
HANDLE to_handle(int value) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value)); }
int from_handle(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

bool find_attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, data) != 0;
}

bool is_directory_path(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Every backslash of the path after the first character ends a directory that must exist
// or be made ("C:" and a UNC server name are taken as they are).
bool create_directories(const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '\\') continue;
    std::string prefix = path.substr(0, i);
    if (prefix.back() == ':' || prefix.back() == '\\' || is_directory_path(prefix)) continue;
    if (!CreateDirectoryA(prefix.c_str(), nullptr) && !is_directory_path(prefix)) return false;
  }
  return true;
}

std::uint64_t split_size(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) + low;
}

}  // namespace

// ---- FileStream ----------------------------------------------------------------------

FileStream* FileStream::open_host(const char* path, std::int32_t mode, const NameString& name,
                                  FileSystem* owner) {
  DWORD access, disposition;
  switch (mode) {
    case mode_read: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case mode_write: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    case mode_read_write: access = GENERIC_READ | GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    default: return nullptr;
  }
  HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return new FileStream(from_handle(handle), name, mode, owner);
}

FileStream::~FileStream() { CloseHandle(to_handle(handle_)); }

std::uint32_t FileStream::read(void* buffer, std::uint32_t count) {
  if (mode == mode_write) return 0;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(to_handle(handle_), out + done, count - done, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

std::uint32_t FileStream::write(const void* buffer, std::uint32_t count) {
  if (mode == mode_read) return 0;
  auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD put = 0;
    if (!WriteFile(to_handle(handle_), in + done, count - done, &put, nullptr) || put == 0) break;
    done += put;
  }
  return done;
}

std::uint64_t FileStream::tell() {
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(to_handle(handle_), zero, &at, FILE_CURRENT)) return size_unknown;
  return static_cast<std::uint64_t>(at.QuadPart);
}

bool FileStream::seek(std::uint64_t position) {
  std::uint64_t end = size();
  if (end == size_unknown || position > end) return false;
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(to_handle(handle_), target, nullptr, FILE_BEGIN) != 0;
}

std::uint64_t FileStream::size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(to_handle(handle_), &size)) return size_unknown;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool FileStream::set_size(std::uint64_t new_size) {
  if (mode == mode_read) return false;
  std::uint64_t was = tell();
  bool cut = seek(new_size) && SetEndOfFile(to_handle(handle_)) != 0;
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
    char buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    // Without a current directory, relative names still resolve against "." .
    text = (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string(".");
  }
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.back() != '\\') text += '\\';
  root_ = NameString(text);
}

std::string DirectoryFileSystem::disk_path(const NameString& name) const {
  std::string_view s = name.view();
  while (!s.empty() && s.front() == '/') s.remove_prefix(1);
  std::string path(root_.view());
  std::size_t start = path.size();
  path += s;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(start), path.end(), '/', '\\');
  return path;
}

Stream* DirectoryFileSystem::open(const NameString& name, std::int32_t mode) {
  if (!validate_path(name, false)) return nullptr;
  std::string path = disk_path(name);
  if (mode == mode_read && is_directory_path(path)) return nullptr;
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
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!find_attributes(disk_path(name), &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return 0;
  return split_size(data.nFileSizeHigh, data.nFileSizeLow);
}

bool DirectoryFileSystem::is_file(const NameString& name) {
  if (!validate_path(name, false)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  return find_attributes(disk_path(name), &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryFileSystem::remove(const NameString& name) {
  if (!validate_path(name, false)) return false;
  std::string path = disk_path(name);
  if (is_directory_path(path) || !DeleteFileA(path.c_str())) return false;
  // Prune the directories this removal emptied, up to but not including the root.
  NameString p = directory_part(name);
  while (!p.empty()) {
    NameString dir(p.view().substr(0, p.view().size() - 1));
    std::string dir_path = disk_path(dir);
    if (dir_path.size() <= root_.view().size()) break;  // a leading "/" names the root
    if (!RemoveDirectoryA(dir_path.c_str())) break;
    p = directory_part(dir);
  }
  return true;
}

FileFinder* DirectoryFileSystem::find_first(const NameString& pattern) {
  if (!validate_path(pattern, true)) return nullptr;
  NameString prefix = directory_part(pattern);
  std::string mask(pattern.view().substr(prefix.view().size()));
  // The platform lists the whole directory; the mask is matched here so masks mean the
  // same on every host and in every file system.
  std::string search = disk_path(prefix) + "*";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(search.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  std::vector<DirectoryFinder::Match> matches;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Directories are matched as "/name", as the pak file system lists them.
    std::string key = directory ? std::string("/") + data.cFileName : data.cFileName;
    if (!pattern_match(key.c_str(), mask.c_str())) continue;
    matches.push_back({NameString(data.cFileName),
                       directory ? 0 : split_size(data.nFileSizeHigh, data.nFileSizeLow),
                       directory});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  if (matches.empty()) return nullptr;
  std::sort(matches.begin(), matches.end(),
            [](const auto& a, const auto& b) { return a.name.view() < b.name.view(); });
  return new DirectoryFinder(std::move(prefix), std::move(matches));
}

bool DirectoryFileSystem::find_next(FileFinder* finder) {
  return finder != nullptr && static_cast<DirectoryFinder*>(finder)->next();
}

void DirectoryFileSystem::find_close(FileFinder* finder) { delete finder; }
