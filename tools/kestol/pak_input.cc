#include "tools/kestol/pak_input.h"


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "fs/pak_fs.h"
#include "authoring/pak_writer.h"

namespace stdfs = std::filesystem;

namespace {

std::string in_quotes(const std::string& path) { return "'" + path + "'"; }

// True when `path` is `folder` or lies below it (both canonical).
bool is_within(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '/' ||
         (!folder.empty() && folder.back() == '/');
}

}  // namespace

bool PakInput::collect(PakWriter* writer, std::string* error) {
  std::error_code ec;
  canonical_root_ = stdfs::canonical(root_, ec).generic_string();
  if (ec) {
    *error = "cannot read directory " + in_quotes(root_) + ": " + ec.message();
    return false;
  }
  open_directories_ = {canonical_root_};
  files_ = 0;
  return walk(root_, "", 0, writer, error);
}

bool PakInput::walk(const std::string& disk, const std::string& inside, std::size_t depth,
                    PakWriter* writer, std::string* error) {
  if (depth > pak_max_depth) {
    *error = in_quotes(disk) + ": directories nest deeper than " + std::to_string(pak_max_depth) + " levels";
    return false;
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (stdfs::directory_iterator it(disk, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) {
    *error = "cannot read directory " + in_quotes(disk) + ": " + ec.message();
    return false;
  }
  // Sorted, so that the same folder always gives the same archive.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = disk + "/" + name;
    std::string relative = inside.empty() ? name : inside + "/" + name;
    if (relative.size() > pak_max_path) {
      *error = in_quotes(path) + ": its path is longer than " + std::to_string(pak_max_path) + " bytes";
      return false;
    }
    stdfs::file_status link = stdfs::symlink_status(path, ec);
    if (ec) {
      *error = in_quotes(path) + (ec == std::errc::no_such_file_or_directory
                                   ? std::string(" vanished while packing")
                                   : ": " + ec.message());
      return false;
    }
    stdfs::file_status target = link;
    if (stdfs::is_symlink(link)) {
      target = stdfs::status(path, ec);
      if (ec) {
        *error = in_quotes(path) + ": the symbolic link leads nowhere (" + ec.message() + ")";
        return false;
      }
    }
    bool left_out = false;
    for (const std::string& other : left_out_)
      if (stdfs::equivalent(path, other, ec) && !ec) left_out = true;
    if (left_out) {
      if (on_left_out) on_left_out(path);
      continue;
    }
    if (stdfs::is_directory(target)) {
      std::string real = stdfs::canonical(path, ec).generic_string();
      if (ec) {
        *error = in_quotes(path) + (ec == std::errc::no_such_file_or_directory
                                     ? std::string(" vanished while packing")
                                     : ": " + ec.message());
        return false;
      }
      if (stdfs::is_symlink(link)) {
        if (!is_within(real, canonical_root_)) {
          *error = in_quotes(path) + " links to a directory outside " + in_quotes(root_) + "; refusing it";
          return false;
        }
        if (std::find(open_directories_.begin(), open_directories_.end(), real) != open_directories_.end()) {
          *error = in_quotes(path) + " links to a directory that contains it (a loop); refusing it";
          return false;
        }
      }
      if (!writer->add_directory(relative, error)) {
        *error = in_quotes(path) + ": " + *error;
        return false;
      }
      open_directories_.push_back(real);
      bool ok = walk(path, relative, depth + 1, writer, error);
      open_directories_.pop_back();
      if (!ok) return false;
    } else if (stdfs::is_regular_file(target)) {
      if (!add_file(path, relative, writer, error)) return false;
    } else {
      if (on_skipped) on_skipped(path, "not a regular file or directory");
    }
  }
  return true;
}

bool PakInput::add_file(const std::string& disk, const std::string& inside, PakWriter* writer,
                        std::string* error) {
  std::FILE* f = std::fopen(disk.c_str(), "rb");
  if (f == nullptr) {
    *error = errno == ENOENT ? in_quotes(disk) + " vanished while packing"
                             : "cannot read " + in_quotes(disk) + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::uint8_t> data;
  std::uint8_t chunk[65536];
  std::size_t n;
  errno = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  int read_error = std::ferror(f) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(f);
  if (read_error != 0) {
    *error = "cannot read " + in_quotes(disk) + ": " + std::strerror(read_error);
    return false;
  }
  if (!writer->add_file(inside, std::move(data), error)) {
    *error = in_quotes(disk) + ": " + *error;
    return false;
  }
  ++files_;
  if (on_added) on_added(inside);
  return true;
}
