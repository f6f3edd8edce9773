// DirectoryFileSystem, FileStream and DirectoryFinder: the rules every host shares. The
// host's file calls sit behind directory_os.h.
#include "fs/directory_fs.h"

#include <algorithm>
#include <string>

#include "fs/directory_os.h"

namespace {

namespace os = directory_os;

bool is_directory_path(const std::string& path) {
  os::PathInfo info;
  return os::stat_path(path, &info) && info.directory;
}

// Every separator of the path after its first character ends a directory that must exist
// or be made (a volume such as "C:" is taken as it is).
bool create_directories(const std::string& path) {
  const char separator = os::separator();
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] != separator) continue;
    std::string prefix = path.substr(0, i);
    if (prefix.back() == separator || os::is_volume(prefix) || is_directory_path(prefix))
      continue;
    if (!os::make_directory(prefix)) return false;
  }
  return true;
}

// Host paths use the host's separator.
void to_host_separators(std::string& text, std::size_t from) {
  const char separator = os::separator();
  if (separator != '/')
    std::replace(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), '/', separator);
}

}  // namespace

// ---- FileStream ----------------------------------------------------------------------

FileStream* FileStream::open_host(const char* path, std::int32_t mode, const NameString& name,
                                  FileSystem* owner) {
  os::Handle handle = os::open_file(path, mode);
  if (handle == os::no_handle) return nullptr;
  return new FileStream(handle, name, mode, owner);
}

FileStream::~FileStream() { os::close_file(handle_); }

std::uint32_t FileStream::read(void* buffer, std::uint32_t count) {
  if (mode == mode_write) return 0;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    std::uint32_t n = os::read_some(handle_, out + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::uint32_t FileStream::write(const void* buffer, std::uint32_t count) {
  if (mode == mode_read) return 0;
  auto* in = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    std::uint32_t n = os::write_some(handle_, in + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::uint64_t FileStream::tell() { return os::tell(handle_); }

bool FileStream::seek(std::uint64_t position) {
  std::uint64_t end = size();
  if (end == size_unknown || position > end) return false;
  return os::seek(handle_, position);
}

std::uint64_t FileStream::size() { return os::file_size(handle_); }

// Only shortens: seek refuses a position past the end, so the file never grows here.
bool FileStream::set_size(std::uint64_t new_size) {
  if (mode == mode_read) return false;
  std::uint64_t was = tell();
  bool cut = seek(new_size) && os::truncate(handle_, new_size);
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
    std::string current = os::current_directory();
    // Without a current directory, relative names still resolve against "." .
    text = current.empty() ? std::string(".") : std::move(current);
  }
  to_host_separators(text, 0);
  if (text.back() != os::separator()) text += os::separator();
  root_ = NameString(text);
}

std::string DirectoryFileSystem::disk_path(const NameString& name) const {
  std::string_view s = name.view();
  while (!s.empty() && s.front() == '/') s.remove_prefix(1);
  std::string path(root_.view());
  std::size_t start = path.size();
  path += s;
  to_host_separators(path, start);
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
  os::PathInfo info;
  if (!os::stat_path(disk_path(name), &info) || info.directory) return 0;
  return info.size;
}

bool DirectoryFileSystem::is_file(const NameString& name) {
  if (!validate_path(name, false)) return false;
  os::PathInfo info;
  return os::stat_path(disk_path(name), &info) && !info.directory;
}

bool DirectoryFileSystem::remove(const NameString& name) {
  if (!validate_path(name, false)) return false;
  std::string path = disk_path(name);
  if (is_directory_path(path) || !os::remove_file(path)) return false;
  // Prune the directories this removal emptied, up to but not including the root.
  NameString p = directory_part(name);
  while (!p.empty()) {
    NameString dir(p.view().substr(0, p.view().size() - 1));
    std::string dir_path = disk_path(dir);
    if (dir_path.size() <= root_.view().size()) break;  // a leading "/" names the root
    if (!os::remove_directory(dir_path)) break;
    p = directory_part(dir);
  }
  return true;
}

FileFinder* DirectoryFileSystem::find_first(const NameString& pattern) {
  if (!validate_path(pattern, true)) return nullptr;
  NameString prefix = directory_part(pattern);
  std::string mask(pattern.view().substr(prefix.view().size()));
  // The host lists the whole directory; the mask is matched here so masks mean the same
  // on every host and in every file system.
  std::vector<os::Entry> entries;
  if (!os::list_directory(disk_path(prefix), &entries)) return nullptr;
  std::vector<DirectoryFinder::Match> matches;
  for (const os::Entry& entry : entries) {
    // Directories are matched as "/name", as the pak file system lists them.
    std::string key = entry.directory ? "/" + entry.name : entry.name;
    if (!pattern_match(key.c_str(), mask.c_str())) continue;
    matches.push_back({NameString(entry.name), entry.directory ? 0 : entry.size, entry.directory});
  }
  if (matches.empty()) return nullptr;
  std::sort(matches.begin(), matches.end(),
            [](const auto& a, const auto& b) { return a.name.view() < b.name.view(); });
  return new DirectoryFinder(std::move(prefix), std::move(matches));
}

bool DirectoryFileSystem::find_next(FileFinder* finder) {
  return finder != nullptr && static_cast<DirectoryFinder*>(finder)->next();
}

void DirectoryFileSystem::find_close(FileFinder* finder) { delete finder; }
