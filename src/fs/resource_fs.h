// Blocks linked into the program (the host's embedded blocks of type "FileSystem"),
// looked up by number and read straight from memory.
#pragma once

#include <cstdint>

#include "fs/file_system.h"

class ResourceStream : public Stream {
 public:
  ResourceStream(const std::uint8_t* data, std::uint32_t size, const NameString& name,
                 FileSystem* owner)
      : Stream(name, mode_read, owner), data_(data), size_(size) {}

  std::uint32_t read(void* buffer, std::uint32_t count) override;
  std::uint32_t write(const void*, std::uint32_t) override { return 0; }
  std::uint64_t tell() override { return position_; }
  bool seek(std::uint64_t position) override;
  std::uint64_t size() override { return size_; }
  bool set_size(std::uint64_t) override { return false; }

 private:
  const std::uint8_t* data_;  // the block's bytes; the program owns them
  std::uint32_t size_;
  std::uint32_t position_ = 0;
};

class ResourceFileSystem : public FileSystem {
 public:
  // The number of the first "FileSystem" block as decimal text, or "".
  NameString first_resource_name();

  // Names are decimal block numbers; the mode is ignored (always read).
  Stream* open(const NameString& name, std::int32_t mode) override;
  std::int32_t reserved(const NameString&, std::int32_t) override { return 0; }
  std::uint64_t file_size(const NameString& name) override;
  bool is_file(const NameString& name) override;
  bool remove(const NameString&) override { return false; }
  FileFinder* find_first(const NameString&) override { return nullptr; }
  bool find_next(FileFinder*) override { return false; }
  void find_close(FileFinder*) override {}
};
