// The pak reader on arbitrary archives: open, walk every table, read every member, look
// names up. The first byte chooses how the rest is presented.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/cipher.h"
#include "fs/pak_fs.h"
#include "fs/resource_fs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::uint8_t mode = data[0];
  std::vector<std::uint8_t> archive(data + 1, data + size);
  // Mostly pad to a whole header block, so the tables get explored, not only the size check.
  if ((mode & 1) == 0 && archive.size() < 2048) archive.resize(2048, 0);
  // Encipher the input as one run, so the fuzzer's plain structure reaches the cipher path.
  if (mode & 2) {
    CipherState state;
    cipher_init(&state);
    cipher_encode(archive.data(), archive.data(), archive.size(), &state);
  }
  ResourceStream stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "fuzz.pak",
                        nullptr);
  PakFileSystem fs(&stream);

  std::vector<std::uint8_t> buffer(4096);
  std::vector<std::string> paths;
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& path, const PakEntryView&) {
    if (paths.size() < 256) paths.push_back(path);
  });
  for (const std::string& path : paths) {
    fs.is_file(NameString(path));
    fs.file_size(NameString(path));
    StreamPtr member(fs.open(NameString(path), mode_read));
    if (!member) continue;
    // Members may claim 4 GiB; reading stops when the data run out, capped for speed.
    std::size_t total = 0;
    std::uint32_t ask = 1 + (mode >> 2) * 97;
    while (total < (1u << 20)) {
      std::uint32_t got = member->read(buffer.data(), ask > buffer.size() ? 4096 : ask);
      if (got == 0) break;
      total += got;
    }
    member->seek(0);
  }
  for (const char* mask : {"*", "*.*", ".", "?*", "a*b", "/x/*", "d/*."}) {
    FileFinder* finder = fs.find_first(mask);
    if (finder == nullptr) continue;
    int n = 0;
    do {
      finder->name();
      finder->size();
      finder->is_directory();
    } while (fs.find_next(finder) && ++n < 1000);
    fs.find_close(finder);
  }
  return 0;
}
