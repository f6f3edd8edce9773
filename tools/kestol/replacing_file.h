// A file the tools write: made under a fresh name (mkstemp) in the target's folder, so a
// link planted under any fixed name is never followed, and renamed over the target only
// when every write, the fsync and the close succeeded. Until then the target is untouched;
// on failure or destruction the temporary file is removed. A target that exists and is
// not a regular file (a device such as /dev/null, a pipe) is written directly instead:
// renaming over it would replace the device itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile() { discard(); }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Makes the temporary file beside `target`. False with the reason (naming the folder or
  // the file and the cause) in *error.
  bool open(const std::string& target, std::string* error);
  bool write(const void* data, std::size_t size, std::string* error);
  // Writes over the first bytes again (a header whose sizes are known only at the end);
  // false for a target written directly, which cannot be rewound.
  bool rewrite_start(const void* data, std::size_t size, std::string* error);
  // Flushes to the disk, gives the file an existing target's mode (else the usual one for
  // new files), closes it and renames it over the target.
  bool commit(std::string* error);
  // Closes and removes the temporary file (nothing after commit).
  void discard();

  const std::string& temporary_path() const { return temporary_; }
  // True when the target is written directly (a device or a pipe).
  bool direct() const { return direct_; }
  // Identity of the temporary file on its device, so a walk can leave it out.
  std::uint64_t device() const { return device_; }
  std::uint64_t inode() const { return inode_; }

 private:
  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  bool direct_ = false;
  std::uint64_t device_ = 0, inode_ = 0;
};
