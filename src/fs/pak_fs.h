// Members of a pak archive, read-only, from any stream that holds the archive; the
// archive may be enciphered and members may be LZSS-compressed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/cipher.h"
#include "fs/file_system.h"
#include "fs/lzss.h"

// The compressed bytes of one member, pulled from the archive stream at its current
// position and deciphered when the archive is enciphered. It reads ahead in blocks; the
// member stream positions the archive at data offset + fetched() before every read.
class ArchiveByteSource : public ByteSource {
 public:
  ArchiveByteSource(Stream* archive, CipherState* cipher) : archive_(archive), cipher_(cipher) {}

  std::uint32_t read(void* buffer, std::uint32_t count) override;
  std::span<const std::uint8_t> peek() override;
  void consume(std::uint32_t n) override;

  std::uint64_t consumed() const { return consumed_; }  // bytes delivered
  std::uint64_t fetched() const { return fetched_; }    // bytes taken from the archive

 private:
  bool refill();

  Stream* archive_;      // not owned
  CipherState* cipher_;  // the member's state, or null for a plain archive
  std::uint64_t consumed_ = 0;
  std::uint64_t fetched_ = 0;
  std::uint8_t buffer_[4096];
  std::uint32_t begin_ = 0, end_ = 0;
};

// One directory entry inside the header block.
struct PakEntryView {
  const std::uint8_t* raw;
  // The name up to its NUL; a name without one is invalid and never matches.
  std::string_view name() const;
  bool valid_name() const;
  bool is_directory() const { return raw[0] == '/'; }
  std::uint32_t size() const;
  std::uint32_t packing() const;
  std::uint32_t offset() const;
};

class PakFileSystem;

// Bounds on what an untrusted directory may describe.
inline constexpr std::size_t pak_max_path = 4096;  // bytes of a member's path
inline constexpr std::size_t pak_max_depth = 256;  // tables nested below the root

class PakMemberStream : public Stream {
 public:
  PakMemberStream(const NameString& name, PakFileSystem* owner, Stream* archive,
                  const PakEntryView& entry, bool enciphered);
  // False when the decoder could not be made.
  bool ready() const { return packing_ == 0 || decoder_ != nullptr; }

  std::uint32_t read(void* buffer, std::uint32_t count) override;
  std::uint32_t write(const void*, std::uint32_t) override { return 0; }
  std::uint64_t tell() override { return position_; }
  bool seek(std::uint64_t position) override;
  std::uint64_t size() override { return size_; }
  bool set_size(std::uint64_t) override { return false; }

  bool compressed() const { return packing_ != 0; }
  // Stored bytes read so far (the compressed bytes for a compressed member).
  std::uint64_t stored_bytes_read() const;

 private:
  std::uint64_t data_offset_;
  std::uint64_t size_;
  Stream* archive_;  // not owned
  std::uint64_t position_ = 0;
  std::uint32_t packing_;
  bool enciphered_;
  CipherState cipher_;
  std::unique_ptr<ArchiveByteSource> source_;
  std::unique_ptr<LzssCodec> codec_;
  std::unique_ptr<LzssDecoder> decoder_;
};

class PakFinder : public FileFinder {
 public:
  PakFinder(std::uint32_t table, std::uint32_t index, NameString prefix, NameString mask,
            const PakFileSystem* fs)
      : table(table), index(index), prefix(std::move(prefix)), mask(std::move(mask)), fs_(fs) {}

  NameString name() override;
  std::uint64_t size() override;
  bool is_directory() override;

  std::uint32_t table;  // offset of the listed table in the header block
  std::uint32_t index;
  NameString prefix;
  NameString mask;

 private:
  const PakFileSystem* fs_;
};

class PakFileSystem : public FileSystem {
 public:
  // Reads the header block from the archive's current position (its first byte).
  explicit PakFileSystem(Stream* archive, bool owns_stream = false);
  ~PakFileSystem() override;

  bool usable() const { return usable_; }
  bool enciphered() const { return enciphered_; }
  std::uint32_t directory_size() const { return directory_size_; }

  // The file entry at a path (one leading "/" allowed), or nothing.
  const std::uint8_t* pak_lookup(std::string_view path) const;

  // The table of the sub-directory at path (one leading "/" allowed; "" is the root).
  bool find_directory(std::string_view path, std::uint32_t* table) const;

  // Tables inside the header block: the entry count of the table at `offset`, 0 when the
  // table does not lie wholly inside the block.
  std::uint32_t table_count(std::uint32_t offset) const;
  PakEntryView table_entry(std::uint32_t offset, std::uint32_t index) const;
  std::uint32_t root_table() const { return 16; }

  // Visits every entry below the table at `table` depth first, in table order, with its
  // path (prefix + own name, sub-directories without their "/"). Each table is visited
  // once, so a table that names itself or an ancestor cannot loop. Entries whose path
  // would exceed pak_max_path and tables nested deeper than pak_max_depth are left out,
  // so the walk costs at most pak_max_path per entry and its stack stays small.
  void for_each_entry(std::uint32_t table, const std::string& prefix,
                      const std::function<void(const std::string& path,
                                               const PakEntryView& entry)>& visit) const;

  // The first damage in the directory tree below the root, in words, or "" when every
  // table lies inside the directory block, every name has its NUL, no table holds two
  // names equal apart from case, no table is reached twice and the bounds above hold.
  // Lookups stay lenient; tools that list or unpack an archive refuse a damaged one.
  std::string directory_damage() const;

  Stream* open(const NameString& name, std::int32_t mode) override;
  std::int32_t reserved(const NameString& name, std::int32_t argument) override;
  std::uint64_t file_size(const NameString& name) override;
  bool is_file(const NameString& name) override;
  bool remove(const NameString&) override { return false; }
  FileFinder* find_first(const NameString& pattern) override;
  bool find_next(FileFinder* finder) override;
  void find_close(FileFinder* finder) override;

 private:
  // Index of the entry equal to key in a table, or -1.
  std::int64_t search(std::uint32_t table, std::string_view key) const;
  // Follows the directory components of path (up to its last "/"); false when one is
  // missing. On success table is the last table reached and rest the last component.
  bool walk(std::string_view path, std::uint32_t* table, std::string_view* rest) const;

  Stream* archive_;
  std::vector<std::uint8_t> block_;  // archive bytes from offset 0, deciphered
  bool usable_ = false;
  bool enciphered_ = false;
  bool owns_stream_;
  std::uint32_t directory_size_ = 0;
};
