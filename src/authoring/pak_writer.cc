#include "authoring/pak_writer.h"

#include <algorithm>
#include <cstring>

#include "authoring/lzss_encoder.h"
#include "fs/cipher.h"
#include "fs/file_system.h"
#include "fs/lzss.h"
#include "fs/pak_format.h"

struct PakWriter::Dir {
  std::string name;  // own name, without "/"
  std::vector<std::unique_ptr<Dir>> dirs;
  struct File {
    std::string name;
    std::vector<std::uint8_t> data;
  };
  std::vector<File> files;
  std::uint32_t table_offset = 0;
};

namespace {

bool check_component(std::string_view name, bool directory, std::string* error) {
  std::size_t limit = pak_name_size - 1 - (directory ? 1 : 0);
  if (name.empty()) {
    *error = "empty name";
    return false;
  }
  if (name.size() > limit) {
    *error = "name '" + std::string(name) + "' is longer than " + std::to_string(limit) +
             " characters";
    return false;
  }
  return true;
}

bool same_name(std::string_view a, std::string_view b) { return pak_name_compare(a, b) == 0; }

}  // namespace

PakWriter::PakWriter() : root_(std::make_unique<Dir>()) {}
PakWriter::~PakWriter() = default;

PakWriter::Dir* PakWriter::make_directories(std::string_view path, std::string* error) {
  Dir* at = root_.get();
  for (std::size_t slash; (slash = path.find('/')) != path.npos;) {
    std::string_view part = path.substr(0, slash);
    path.remove_prefix(slash + 1);
    if (!check_component(part, true, error)) return nullptr;
    Dir* next = nullptr;
    for (auto& dir : at->dirs) {
      if (!same_name(dir->name, part)) continue;
      if (dir->name != part) {
        *error = "directories '" + dir->name + "' and '" + std::string(part) +
                 "' differ only in letter case";
        return nullptr;
      }
      next = dir.get();
    }
    if (next == nullptr) {
      at->dirs.push_back(std::make_unique<Dir>());
      next = at->dirs.back().get();
      next->name = part;
    }
    at = next;
  }
  return at;
}

bool PakWriter::add_file(std::string_view path, std::vector<std::uint8_t> data,
                         std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  if (!validate_path(NameString(path), false)) {
    *error = "'" + std::string(path) + "' is not a valid member path";
    return false;
  }
  if (data.size() > 0xFFFFFFFFu) {
    *error = "'" + std::string(path) + "' is 4 GiB or larger";
    return false;
  }
  Dir* dir = make_directories(path, error);
  if (dir == nullptr) return false;
  std::string_view name = path.substr(path.rfind('/') == path.npos ? 0 : path.rfind('/') + 1);
  if (!check_component(name, false, error)) return false;
  for (const auto& file : dir->files) {
    if (same_name(file.name, name)) {
      *error = "'" + std::string(path) + "' is already in the archive (names ignore case)";
      return false;
    }
  }
  dir->files.push_back({std::string(name), std::move(data)});
  return true;
}

bool PakWriter::add_directory(std::string_view path, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.empty()) return true;
  if (!validate_path(NameString(path), false)) {
    *error = "'" + std::string(path) + "' is not a valid directory path";
    return false;
  }
  std::string with_slash(path);
  with_slash += '/';
  return make_directories(with_slash, error) != nullptr;
}

bool PakWriter::build(const PakWriterOptions& options, std::vector<std::uint8_t>* archive,
                      std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;

  // Sort every table (sub-directories first, names without regard to case) and give
  // each table its place: the root at 16, the others after it, depth first.
  std::vector<PakWriter::Dir*> order;
  std::size_t file_count = 0;
  std::function<void(PakWriter::Dir*)> sort_tree = [&](PakWriter::Dir* dir) {
    std::sort(dir->dirs.begin(), dir->dirs.end(), [](const auto& a, const auto& b) {
      return pak_name_compare(a->name, b->name) < 0;
    });
    std::sort(dir->files.begin(), dir->files.end(), [](const auto& a, const auto& b) {
      return pak_name_compare(a.name, b.name) < 0;
    });
    file_count += dir->files.size();
    order.push_back(dir);
    for (auto& sub : dir->dirs) sort_tree(sub.get());
  };
  sort_tree(root_.get());

  std::uint64_t offset = pak_root_offset;
  for (PakWriter::Dir* dir : order) {
    dir->table_offset = static_cast<std::uint32_t>(offset);
    offset += 4 + std::uint64_t{pak_entry_size} * (dir->dirs.size() + dir->files.size());
  }
  if (offset > 0xFFFFFFFFu) {
    *error = "the directory tables are too large";
    return false;
  }
  std::uint32_t directory_size = static_cast<std::uint32_t>(offset);
  std::uint64_t block_size = std::max<std::uint64_t>(directory_size, pak_header_size);

  std::vector<std::uint8_t>& out = *archive;
  out.assign(block_size, 0);
  std::memcpy(out.data(), pak_magic, sizeof pak_magic);
  put_le32(out.data() + pak_directory_size_offset, directory_size);

  std::size_t index = 0;
  for (PakWriter::Dir* dir : order) {
    put_le32(out.data() + dir->table_offset,
              static_cast<std::uint32_t>(dir->dirs.size() + dir->files.size()));
    // An offset, not a pointer: appending member data moves the block.
    std::size_t entry_at = dir->table_offset + 4;
    for (const auto& sub : dir->dirs) {
      std::uint8_t* entry = out.data() + entry_at;
      std::string name = "/" + sub->name;
      std::memcpy(entry + pak_entry_name, name.data(), name.size());
      put_le32(entry + pak_entry_offset, sub->table_offset);
      entry_at += pak_entry_size;
    }
    for (const auto& file : dir->files) {
      if (options.progress) options.progress(file.name, index, file_count);
      ++index;
      std::vector<std::uint8_t> packed;
      bool compress = false;
      if (options.compression != PakCompression::never) {
        packed = lzss_compress(file.data);
        compress = options.compression == PakCompression::always ||
                   packed.size() < file.data.size();
      }
      const std::vector<std::uint8_t>& stored = compress ? packed : file.data;
      std::uint64_t data_offset = out.size();
      if (data_offset + stored.size() > 0xFFFFFFFFu) {
        *error = "the archive would reach 4 GiB at '" + file.name + "'";
        return false;
      }
      std::uint8_t* entry = out.data() + entry_at;
      std::memcpy(entry + pak_entry_name, file.name.data(), file.name.size());
      put_le32(entry + pak_entry_size_field, static_cast<std::uint32_t>(file.data.size()));
      put_le32(entry + pak_entry_packing, compress ? 1 : 0);
      put_le32(entry + pak_entry_offset, static_cast<std::uint32_t>(data_offset));
      entry_at += pak_entry_size;
      out.insert(out.end(), stored.begin(), stored.end());
      if (options.encipher) {
        // Each member's stored bytes are a cipher run of their own.
        CipherState cipher;
        cipher_init(&cipher);
        cipher_encode(out.data() + data_offset, out.data() + data_offset, stored.size(), &cipher);
      }
    }
  }
  if (options.encipher) {
    // The header and every table: one run from offset 0.
    CipherState cipher;
    cipher_init(&cipher);
    cipher_encode(out.data(), out.data(), block_size, &cipher);
  }
  return true;
}
