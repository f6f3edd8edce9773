// The interfaces of the virtual file system: positioned byte streams, file systems that
// resolve virtual paths and hand out streams, and enumeration cursors.
#pragma once

#include <cstdint>
#include <memory>

#include "fs/byte_source.h"
#include "fs/name_string.h"

inline constexpr std::int32_t mode_read = 1;        // read an existing file
inline constexpr std::int32_t mode_write = 2;       // write; create when missing
inline constexpr std::int32_t mode_read_write = 3;  // read and write; create when missing

inline constexpr std::uint64_t size_unknown = ~std::uint64_t{0};

class FileSystem;

// An open file: a ByteSource that can also be written, positioned and resized.
class Stream : public ByteSource {
 public:
  Stream(const NameString& name, std::int32_t mode, FileSystem* owner)
      : name(name), mode(mode), owner(owner) {}
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() override = default;

  std::uint32_t read(void* buffer, std::uint32_t count) override = 0;
  virtual std::uint32_t write(const void* buffer, std::uint32_t count) = 0;
  virtual std::uint64_t tell() = 0;
  virtual bool seek(std::uint64_t position) = 0;
  virtual std::uint64_t size() = 0;
  virtual bool set_size(std::uint64_t size) = 0;
  // Ends the stream: nothing else is needed to release it.
  virtual void close() { delete this; }

  NameString name;
  std::int32_t mode;
  FileSystem* owner;  // not owned
};

class FileFinder {
 public:
  FileFinder() = default;
  FileFinder(const FileFinder&) = delete;
  FileFinder& operator=(const FileFinder&) = delete;
  virtual ~FileFinder() = default;

  // The pattern's directory part and the current entry's own name: a path for `open`.
  virtual NameString name() = 0;
  virtual std::uint64_t size() = 0;
  virtual bool is_directory() = 0;
};

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  virtual Stream* open(const NameString& name, std::int32_t mode) = 0;
  // Nothing calls it; every file system answers 0.
  virtual std::int32_t reserved(const NameString& name, std::int32_t argument) = 0;
  virtual std::uint64_t file_size(const NameString& name) = 0;
  virtual bool is_file(const NameString& name) = 0;
  virtual bool remove(const NameString& name) = 0;
  virtual FileFinder* find_first(const NameString& pattern) = 0;
  virtual bool find_next(FileFinder* finder) = 0;
  virtual void find_close(FileFinder* finder) = 0;
};

// RAII holders for code that owns what the interfaces hand out.
struct StreamCloser {
  void operator()(Stream* stream) const {
    if (stream != nullptr) stream->close();
  }
};
using StreamPtr = std::unique_ptr<Stream, StreamCloser>;

// Virtual path rules shared by the directory and pak file systems.
bool validate_path(const NameString& name, bool masks_allowed);
// The path up to and including its last "/", or "" when it has none.
NameString directory_part(const NameString& path);

// Mask matching used by every finder, so masks mean the same everywhere.
bool pattern_match(const char* name, const char* mask);
bool mask_match(const char* name, const char* mask);
