// Disk files below one directory. The only file system that writes, creates and deletes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/file_system.h"

// A disk file opened by its host path. Made by DirectoryFileSystem, or directly by tools
// that name archives on the command line.
class FileStream : public Stream {
 public:
  // Null when the file cannot be opened; write modes create the file (not directories).
  static FileStream* open_host(const char* path, std::int32_t mode, const NameString& name,
                               FileSystem* owner);
  ~FileStream() override;

  std::uint32_t read(void* buffer, std::uint32_t count) override;
  std::uint32_t write(const void* buffer, std::uint32_t count) override;
  std::uint64_t tell() override;
  bool seek(std::uint64_t position) override;
  std::uint64_t size() override;
  bool set_size(std::uint64_t size) override;

 private:
  FileStream(std::intptr_t handle, const NameString& name, std::int32_t mode,
             FileSystem* owner)
      : Stream(name, mode, owner), handle_(handle) {}
  std::intptr_t handle_;  // a file descriptor or a Win32 HANDLE (directory_os.h)
};

class DirectoryFinder : public FileFinder {
 public:
  struct Match {
    NameString name;
    std::uint64_t size;
    bool directory;
  };
  DirectoryFinder(NameString prefix, std::vector<Match> matches)
      : prefix_(std::move(prefix)), matches_(std::move(matches)) {}

  NameString name() override;
  std::uint64_t size() override;
  bool is_directory() override;
  bool next();

 private:
  NameString prefix_;
  std::vector<Match> matches_;  // sorted by name, so listings do not depend on the disk
  std::size_t index_ = 0;
};

class DirectoryFileSystem : public FileSystem {
 public:
  // The empty root stands for the current directory; the root always ends with the host's
  // separator: "/", or a backslash on Windows (where every "/" becomes a backslash).
  explicit DirectoryFileSystem(const NameString& root);

  const NameString& root() const { return root_; }
  // The host path of a virtual name: root + name without its leading "/" (with the host's
  // separator).
  std::string disk_path(const NameString& name) const;

  Stream* open(const NameString& name, std::int32_t mode) override;
  std::int32_t reserved(const NameString& name, std::int32_t argument) override;
  std::uint64_t file_size(const NameString& name) override;
  bool is_file(const NameString& name) override;
  bool remove(const NameString& name) override;
  FileFinder* find_first(const NameString& pattern) override;
  bool find_next(FileFinder* finder) override;
  void find_close(FileFinder* finder) override;

 private:
  NameString root_;
};
