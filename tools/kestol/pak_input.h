// The input of `kestol pak create`: every file below a folder, read whole and handed to a
// PakWriter. Nothing is packed wrong silently: a file that cannot be read or vanishes is
// an error naming it; symbolic links are followed to files and to directories inside the
// folder and stored under the link's own name; a link out of the folder or round in a
// loop is refused.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class PakWriter;

class PakInput {
 public:
  explicit PakInput(std::string root) : root_(std::move(root)) {}

  // A file (the archive being replaced, the new one being written) the walk leaves out.
  void leave_out(const std::string& path) { left_out_.push_back(path); }
  std::function<void(const std::string& path)> on_left_out;
  // A file that is neither regular nor a directory (a socket, a device...).
  std::function<void(const std::string& path, const std::string& why)> on_skipped;
  // Each file added, by its path inside the archive.
  std::function<void(const std::string& inside)> on_added;

  // Adds every directory and file below the root to the writer, in sorted order. False with
  // the reason (naming the file) in *error.
  bool collect(PakWriter* writer, std::string* error);
  std::size_t files() const { return files_; }

 private:
  bool walk(const std::string& disk, const std::string& inside, std::size_t depth,
            PakWriter* writer, std::string* error);
  bool add_file(const std::string& disk, const std::string& inside, PakWriter* writer,
                std::string* error);

  std::string root_;
  std::string canonical_root_;
  std::vector<std::string> left_out_;
  std::vector<std::string> open_directories_;  // canonical paths from the root down
  std::size_t files_ = 0;
};
