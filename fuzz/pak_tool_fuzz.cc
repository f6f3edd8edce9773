// What `kestol pak list`, `info` and `extract` do with an untrusted archive before and
// while trusting it: the strict directory check, the bounded walk with every path escaped
// for printing, the overlap check, and a case-folded mask over one table.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/pak_format.h"
#include "fs/pak_fs.h"
#include "fs/resource_fs.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/pak_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Directories live in the header block and beyond: pad so tables get explored, and let
  // the fuzzer's directory size stand.
  std::vector<std::uint8_t> archive(data, data + size);
  if (archive.size() < pak_header_size) archive.resize(pak_header_size, 0);
  std::memcpy(archive.data(), pak_magic, sizeof pak_magic);
  ResourceStream stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "fuzz.pak", nullptr);
  PakFileSystem fs(&stream);
  if (!fs.usable()) return 0;
  std::string damage = fs.directory_damage();
  escape_name(damage);
  std::size_t visited = 0;
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& path, const PakEntryView& entry) {
    if (path.size() > pak_max_path) __builtin_trap();
    escape_name(path);
    has_control_characters(path);
    entry.size();
    ++visited;
  });
  if (damage.empty()) overlapping_members(fs);
  std::uint32_t table;
  if (fs.find_directory("a", &table))
    for (std::uint32_t i = 0, n = fs.table_count(table); i < n; ++i) {
      PakEntryView entry = fs.table_entry(table, i);
      if (entry.valid_name()) pattern_match(std::string(entry.name()).c_str(), "*.*");
    }
  return 0;
}
