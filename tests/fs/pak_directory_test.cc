// Untrusted directory trees: the walk stays bounded in depth and path length, and the
// strict check names the first damage while lookups keep reading leniently.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fs/pak_format.h"
#include "fs/pak_fs.h"
#include "fs/resource_fs.h"
#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// `levels` tables, each holding one sub-directory `name` that leads to the next; the
// last table also holds a file "f".
Bytes nested(std::uint32_t levels, const char* name) {
  Bytes archive(pak_header_size + levels * 84 + 84, 0);
  std::memcpy(archive.data(), pak_magic, sizeof pak_magic);
  put_le32(archive.data() + pak_directory_size_offset, static_cast<std::uint32_t>(archive.size()));
  std::uint32_t table = pak_root_offset;
  for (std::uint32_t i = 0; i < levels; ++i) {
    std::uint32_t next = pak_header_size + i * 84;
    put_le32(archive.data() + table, 1);
    std::memcpy(archive.data() + table + 4, name, std::strlen(name));
    put_le32(archive.data() + table + 4 + pak_entry_offset, next);
    table = next;
  }
  put_le32(archive.data() + table, 1);
  archive[table + 4] = 'f';
  return archive;
}

struct Walk {
  std::size_t entries = 0;
  std::size_t longest = 0;
};

Walk walk_all(const PakFileSystem& fs) {
  Walk w;
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& path, const PakEntryView&) {
    ++w.entries;
    w.longest = std::max(w.longest, path.size());
  });
  return w;
}

TEST(PakDirectory, DepthIsBoundedForTheWalkAndReportedByTheCheck) {
  Bytes archive = nested(6000, "/d");
  ResourceStream stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "deep.pak", nullptr);
  PakFileSystem fs(&stream);
  ASSERT_TRUE(fs.usable());
  Walk w = walk_all(fs);
  EXPECT_EQ(w.entries, pak_max_depth + 1);
  EXPECT_LE(w.longest, pak_max_path);
  EXPECT_NE(fs.directory_damage().find("deeper than 256"), std::string::npos) << fs.directory_damage();

  // Just within the bound: clean, and every level is walked down to the file.
  Bytes fits = nested(pak_max_depth, "/d");
  ResourceStream fits_stream(fits.data(), static_cast<std::uint32_t>(fits.size()), "fits.pak", nullptr);
  PakFileSystem fits_fs(&fits_stream);
  EXPECT_EQ(fits_fs.directory_damage(), "");
  EXPECT_EQ(walk_all(fits_fs).entries, pak_max_depth + 1);
}

TEST(PakDirectory, PathLengthIsBounded) {
  // 63-character directory names: 100 levels make paths of 6,400 bytes.
  std::string name = "/" + std::string(62, 'n');
  Bytes archive = nested(100, name.c_str());
  ResourceStream stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "long.pak", nullptr);
  PakFileSystem fs(&stream);
  Walk w = walk_all(fs);
  EXPECT_LE(w.longest, pak_max_path);
  EXPECT_EQ(w.entries, pak_max_path / 63);
  EXPECT_NE(fs.directory_damage().find("longer than 4096"), std::string::npos) << fs.directory_damage();
}

TEST(PakDirectory, ATableReachedTwiceIsDamageButLookupsStillWork) {
  Bytes archive = fs_fixtures::make_archive({{"x/a", Bytes{1}}, {"y/b", Bytes{2}}}, false,
                                            PakCompression::never);
  ResourceStream clean_stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "ok.pak", nullptr);
  PakFileSystem clean(&clean_stream);
  EXPECT_EQ(clean.directory_damage(), "");
  // Directory "y" now shares "x"'s table.
  std::uint8_t* x = archive.data() + pak_root_offset + 4;
  std::uint8_t* y = x + pak_entry_size;
  put_le32(y + pak_entry_offset, get_le32(x + pak_entry_offset));
  ResourceStream stream(archive.data(), static_cast<std::uint32_t>(archive.size()), "shared.pak", nullptr);
  PakFileSystem fs(&stream);
  EXPECT_NE(fs.directory_damage().find("reuses a table"), std::string::npos) << fs.directory_damage();
  EXPECT_TRUE(fs.is_file(NameString("y/a")));  // the lenient reading the demo mounts with
}

}  // namespace
