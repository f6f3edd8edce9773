// Helpers for the file-system tests: temporary directories, files, archives in memory.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "authoring/pak_writer.h"

namespace fs_fixtures {

// A fresh directory below the system's temporary directory, removed with everything in
// it when the object ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // without a closing "/"
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool read_file(const std::string& path, std::vector<std::uint8_t>* bytes);
bool exists(const std::string& path);

std::vector<std::uint8_t> random_bytes(std::mt19937& rng, std::size_t size);
// Text-like bytes that compress well (few symbols, repeats).
std::vector<std::uint8_t> compressible_bytes(std::mt19937& rng, std::size_t size);

struct Member {
  std::string path;
  std::vector<std::uint8_t> data;
};

// An archive of the given members; fails the current test when the writer refuses.
std::vector<std::uint8_t> make_archive(const std::vector<Member>& members, bool encipher,
                                       PakCompression compression);

// Runs fn in a child process; returns its exit code (or -1) and what it wrote to stderr.
struct ChildResult {
  int exit_code;
  std::string error_text;
};
ChildResult run_in_child(void (*fn)(void* context), void* context);

// A small tmpfs mounted at `where` (made if missing), so a full disk can be met; only
// root may mount, so tests skip when mounted() is false. Unmounted at the end.
class SmallDisk {
 public:
  SmallDisk(const std::string& where, const char* size);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string where_;
  bool mounted_ = false;
};

// A program run through the shell: its exit code (-1 when it did not exit), standard
// output, and standard error (kept in dir while it runs). `redirect` may send standard
// output elsewhere ("> /dev/full").
struct ToolRun {
  int exit_code;
  std::string out;
  std::string err;
};
ToolRun run_command(const std::string& command, const TempDir& dir, const std::string& redirect = "");

}  // namespace fs_fixtures
