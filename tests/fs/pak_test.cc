#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fs/pak_format.h"
#include "fs/pak_fs.h"
#include "fs/resource_fs.h"
#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fs_fixtures::Member;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An archive in memory, served through a stream as the mounting serves it.
struct OpenArchive {
  explicit OpenArchive(Bytes bytes)
      : bytes(std::move(bytes)),
        stream(this->bytes.data(), static_cast<std::uint32_t>(this->bytes.size()), "a.pak",
               nullptr),
        fs(&stream) {}
  Bytes bytes;
  ResourceStream stream;
  PakFileSystem fs;
};

Bytes read_whole(FileSystem& fs, const char* name) {
  StreamPtr s(fs.open(name, mode_read));
  if (!s) return {};
  Bytes out(s->size());
  EXPECT_EQ(s->read(out.data(), static_cast<std::uint32_t>(out.size())), out.size()) << name;
  return out;
}

std::vector<Member> sample_members(std::mt19937& rng) {
  return {
      {"Readme.TXT", text("read me")},
      {"01.jpg", fs_fixtures::random_bytes(rng, 5000)},
      {"music/vexo.xm", fs_fixtures::compressible_bytes(rng, 40000)},
      {"music/Intro.XM", fs_fixtures::compressible_bytes(rng, 123)},
      {"pics/deep/Er/x.bin", fs_fixtures::compressible_bytes(rng, 9000)},
      {"pics/a", Bytes{}},
      {"zz", fs_fixtures::random_bytes(rng, 1)},
  };
}

struct Variant {
  bool encipher;
  PakCompression compression;
};

class PakRoundTrip : public ::testing::TestWithParam<Variant> {};

TEST_P(PakRoundTrip, EveryMemberReadsBackWholeInPiecesAndInTurns) {
  std::mt19937 rng(21);
  std::vector<Member> members = sample_members(rng);
  OpenArchive a(fs_fixtures::make_archive(members, GetParam().encipher, GetParam().compression));
  ASSERT_TRUE(a.fs.usable());
  EXPECT_EQ(a.fs.enciphered(), GetParam().encipher);
  for (const Member& m : members) {
    EXPECT_EQ(read_whole(a.fs, m.path.c_str()), m.data) << m.path;
    EXPECT_TRUE(a.fs.is_file(NameString(m.path)));
    EXPECT_EQ(a.fs.file_size(NameString(m.path)), m.data.size());
    // Byte by byte.
    StreamPtr s(a.fs.open(NameString("/" + m.path), mode_read));
    ASSERT_TRUE(s);
    Bytes bytes;
    std::uint8_t c;
    while (s->read(&c, 1) == 1) bytes.push_back(c);
    EXPECT_EQ(bytes, m.data) << m.path;
    EXPECT_EQ(s->tell(), m.data.size());
  }
  // Two members in alternation, in uneven pieces.
  StreamPtr x(a.fs.open("music/vexo.xm", mode_read));
  StreamPtr y(a.fs.open("pics/deep/er/X.BIN", mode_read));
  ASSERT_TRUE(x && y);
  Bytes got_x, got_y;
  std::uint8_t buffer[700];
  for (int turn = 0; got_x.size() < members[2].data.size() || got_y.size() < members[4].data.size(); ++turn) {
    std::uint32_t ask = 1 + static_cast<std::uint32_t>(rng() % sizeof buffer);
    std::uint32_t n = x->read(buffer, ask);
    got_x.insert(got_x.end(), buffer, buffer + n);
    n = y->read(buffer, ask / 2 + 1);
    got_y.insert(got_y.end(), buffer, buffer + n);
    ASSERT_LT(turn, 100000);
  }
  EXPECT_EQ(got_x, members[2].data);
  EXPECT_EQ(got_y, members[4].data);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, PakRoundTrip,
    ::testing::Values(Variant{false, PakCompression::never}, Variant{false, PakCompression::always},
                      Variant{false, PakCompression::automatic}, Variant{true, PakCompression::never},
                      Variant{true, PakCompression::always},
                      Variant{true, PakCompression::automatic}));

TEST(PakWriter, TablesAreSortedDirectoriesFirstIgnoringCase) {
  std::vector<Member> members = {{"b", text("1")}, {"A", text("2")}, {"c/x", text("3")},
                                 {"B_dir/y", text("4")}, {"a_dir/z", text("5")}};
  Bytes archive = fs_fixtures::make_archive(members, false, PakCompression::never);
  ASSERT_GE(archive.size(), 2048u);
  EXPECT_EQ(std::memcmp(archive.data(), "Kestol3.0", 10), 0);
  EXPECT_EQ(get_le32(archive.data() + 16), 5u);
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) names.push_back(reinterpret_cast<const char*>(archive.data() + 20 + 80 * i));
  EXPECT_EQ(names, (std::vector<std::string>{"/a_dir", "/B_dir", "/c", "A", "b"}));
  EXPECT_EQ(get_le32(archive.data() + 12), 16u + 4 + 5 * 80 + 3 * (4 + 80));
}

TEST(PakWriter, RefusesNamesReadersCouldNotReach) {
  PakWriter writer;
  std::string error;
  EXPECT_FALSE(writer.add_file("../x", text("x"), &error));
  EXPECT_FALSE(writer.add_file("a\\b", text("x"), &error));
  EXPECT_FALSE(writer.add_file("a*", text("x"), &error));
  EXPECT_FALSE(writer.add_file(std::string(64, 'n'), text("x"), &error));
  EXPECT_TRUE(writer.add_file(std::string(63, 'n'), text("x"), &error)) << error;
  EXPECT_FALSE(writer.add_file(std::string(63, 'd') + "/f", text("x"), &error));  // "/" + 63
  EXPECT_TRUE(writer.add_file("Same", text("x"), &error));
  EXPECT_FALSE(writer.add_file("sAME", text("y"), &error));
  EXPECT_NE(error.find("already"), std::string::npos);
  EXPECT_TRUE(writer.add_file("dir/f", text("x"), &error));
  EXPECT_FALSE(writer.add_file("DIR/g", text("x"), &error));
}

TEST(PakWriter, AutomaticCompressionOnlyWhenItPays) {
  std::mt19937 rng(4);
  Bytes noise = fs_fixtures::random_bytes(rng, 3000);
  Bytes text_like = fs_fixtures::compressible_bytes(rng, 3000);
  Bytes archive = fs_fixtures::make_archive({{"noise", noise}, {"text", text_like}}, false,
                                            PakCompression::automatic);
  EXPECT_EQ(get_le32(archive.data() + 20 + 68), 0u);   // noise stored
  EXPECT_NE(get_le32(archive.data() + 100 + 68), 0u);  // text compressed
  EXPECT_LT(archive.size(), 2048u + 3000 + 3000);
}

TEST(PakFileSystem, LookupsIgnoreCaseAndSeeFilesOnly) {
  std::mt19937 rng(1);
  OpenArchive a(fs_fixtures::make_archive(sample_members(rng), false, PakCompression::never));
  EXPECT_EQ(read_whole(a.fs, "README.txt"), text("read me"));
  EXPECT_EQ(a.fs.open("music", mode_read), nullptr);
  EXPECT_FALSE(a.fs.is_file("music"));
  EXPECT_FALSE(a.fs.is_file("/music"));
  EXPECT_EQ(a.fs.file_size("music"), size_unknown);
  EXPECT_EQ(a.fs.file_size("nothing"), size_unknown);
  EXPECT_EQ(a.fs.open("Readme.TXT", mode_write), nullptr);
  EXPECT_EQ(a.fs.open("//Readme.TXT", mode_read), nullptr);
  EXPECT_EQ(a.fs.open("music/../zz", mode_read), nullptr);
  EXPECT_EQ(a.fs.open("nosuchdir/vexo.xm", mode_read), nullptr);
  EXPECT_FALSE(a.fs.remove("zz"));
  EXPECT_EQ(a.fs.reserved("zz", 1), 0);
}

TEST(PakFileSystem, SeekDependsOnTheKindOfMember) {
  std::mt19937 rng(2);
  for (auto [encipher, compression] : {std::pair{false, PakCompression::never},
                                       std::pair{true, PakCompression::never},
                                       std::pair{false, PakCompression::always}}) {
    Bytes data = fs_fixtures::compressible_bytes(rng, 100);
    OpenArchive a(fs_fixtures::make_archive({{"m", data}}, encipher, compression));
    StreamPtr s(a.fs.open("m", mode_read));
    ASSERT_TRUE(s);
    std::uint8_t buffer[100];
    ASSERT_EQ(s->read(buffer, 10), 10u);
    EXPECT_TRUE(s->seek(10));  // the current position is always accepted
    EXPECT_FALSE(s->seek(101));
    EXPECT_EQ(s->tell(), 10u);  // a refused seek leaves the position
    bool plain = !encipher && compression == PakCompression::never;
    EXPECT_EQ(s->seek(0), plain);
    EXPECT_EQ(s->seek(100), plain);
    if (plain) {
      EXPECT_TRUE(s->seek(40));
      ASSERT_EQ(s->read(buffer, 5), 5u);
      EXPECT_EQ(std::memcmp(buffer, data.data() + 40, 5), 0);
    } else {
      EXPECT_EQ(s->tell(), 10u);
    }
    EXPECT_EQ(s->write(buffer, 1), 0u);
    EXPECT_FALSE(s->set_size(0));
  }
}

std::vector<std::string> list(PakFileSystem& fs, const char* pattern) {
  std::vector<std::string> names;
  FileFinder* finder = fs.find_first(pattern);
  if (finder == nullptr) return names;
  do {
    names.push_back(std::string(finder->name().view()) + (finder->is_directory() ? "/" : ""));
  } while (fs.find_next(finder));
  EXPECT_FALSE(fs.find_next(finder));  // stays at the end
  fs.find_close(finder);
  return names;
}

TEST(PakFileSystem, FindListsOneTableWithThePatternsPrefix) {
  std::vector<Member> members = {{"readme", text("1")}, {"readme.txt", text("22")},
                                 {"a.jpg", text("333")}, {"sub/b.jpg", text("4")},
                                 {"sub/deeper/c", text("5")}};
  OpenArchive a(fs_fixtures::make_archive(members, true, PakCompression::automatic));
  using V = std::vector<std::string>;
  EXPECT_EQ(list(a.fs, "*"), (V{"sub/", "a.jpg", "readme", "readme.txt"}));
  EXPECT_EQ(list(a.fs, "*.*"), (V{"sub/", "a.jpg", "readme", "readme.txt"}));
  EXPECT_EQ(list(a.fs, "readme*"), (V{"readme.txt"}));
  EXPECT_EQ(list(a.fs, "readme."), (V{"readme"}));
  EXPECT_EQ(list(a.fs, "s*"), V{});
  EXPECT_EQ(list(a.fs, "/sub/*"), (V{"/sub/deeper/", "/sub/b.jpg"}));
  EXPECT_EQ(list(a.fs, "SUB/*.jpg"), (V{"SUB/b.jpg"}));
  EXPECT_EQ(list(a.fs, "sub/deeper/?"), (V{"sub/deeper/c"}));
  EXPECT_EQ(list(a.fs, "none/*"), V{});
  EXPECT_EQ(a.fs.find_first("s*/x"), nullptr);
  FileFinder* finder = a.fs.find_first("readme.txt");
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(finder->size(), 2u);
  EXPECT_FALSE(finder->is_directory());
  a.fs.find_close(finder);
  a.fs.find_close(nullptr);
}

TEST(PakFileSystem, UnusableArchivesFindNothing) {
  Bytes small = fs_fixtures::make_archive({{"a", text("x")}}, false, PakCompression::never);
  small.resize(2047);  // starts with the magic, but the header block is short
  OpenArchive short_one(small);
  EXPECT_FALSE(short_one.fs.usable());
  EXPECT_EQ(short_one.fs.open("a", mode_read), nullptr);

  OpenArchive garbage(Bytes(4096, 0x5A));
  EXPECT_FALSE(garbage.fs.usable());
  EXPECT_TRUE(garbage.fs.enciphered());
  EXPECT_EQ(garbage.fs.find_first("*"), nullptr);
  EXPECT_FALSE(garbage.fs.is_file("a"));
  EXPECT_EQ(garbage.fs.file_size("a"), size_unknown);
}

// Plain archives whose tables lie: the reader must stay inside its block.
TEST(PakFileSystem, LyingTablesAndEntriesNeverReachOutsideTheBlock) {
  Bytes base = fs_fixtures::make_archive({{"d/f", text("hello")}, {"g", text("world")}}, false,
                                         PakCompression::never);
  auto patched = [&](auto change) {
    Bytes b = base;
    change(b);
    return b;
  };
  // Root count far too large.
  OpenArchive huge_count(patched([](Bytes& b) { put_le32(b.data() + 16, 0x7FFFFFFF); }));
  EXPECT_EQ(huge_count.fs.open("g", mode_read), nullptr);
  EXPECT_EQ(huge_count.fs.find_first("*"), nullptr);
  // Sub-directory offset beyond the block.
  OpenArchive far_dir(patched([](Bytes& b) { put_le32(b.data() + 20 + 76, 0xFFFFFFF0u); }));
  EXPECT_EQ(far_dir.fs.open("d/f", mode_read), nullptr);
  EXPECT_EQ(read_whole(far_dir.fs, "g"), text("world"));
  // A name without its NUL.
  OpenArchive no_nul(patched([](Bytes& b) { std::memset(b.data() + 100, 'g', 64); }));
  EXPECT_EQ(no_nul.fs.open("g", mode_read), nullptr);
  EXPECT_EQ(no_nul.fs.find_first("g*"), nullptr);
  // Member data beyond the end: nothing to read; partly beyond: a short read.
  OpenArchive far_data(patched([](Bytes& b) { put_le32(b.data() + 100 + 76, 0xFFFFFF00u); }));
  StreamPtr s(far_data.fs.open("g", mode_read));
  ASSERT_TRUE(s);
  char buffer[8];
  EXPECT_EQ(s->read(buffer, 5), 0u);
  OpenArchive tail_data(patched([](Bytes& b) {
    put_le32(b.data() + 100 + 76, static_cast<std::uint32_t>(b.size() - 2));
  }));
  StreamPtr t(tail_data.fs.open("g", mode_read));
  EXPECT_EQ(t->read(buffer, 5), 2u);
  // A directory size beyond the file: what arrives is kept, nothing more is allocated.
  OpenArchive big_dir(patched([](Bytes& b) { put_le32(b.data() + 12, 0xFFFFFFFFu); }));
  EXPECT_TRUE(big_dir.fs.usable());
  EXPECT_EQ(read_whole(big_dir.fs, "d/f"), text("hello"));
}

TEST(PakFileSystem, WalkingATableThatNamesItselfEnds) {
  Bytes b = fs_fixtures::make_archive({{"d/f", text("x")}}, false, PakCompression::never);
  put_le32(b.data() + 20 + 76, 16);  // "/d" now leads back to the root table
  OpenArchive a(b);
  std::vector<std::string> paths;
  a.fs.for_each_entry(a.fs.root_table(), "", [&](const std::string& path, const PakEntryView&) {
    paths.push_back(path);
  });
  EXPECT_EQ(paths, std::vector<std::string>{"d"});
  EXPECT_FALSE(a.fs.is_file("d/f"));
  EXPECT_FALSE(a.fs.is_file("d/d/d/d/f"));
}

TEST(PakFileSystem, LargeDirectoryBlocksSpanBeyondTheFirst2048Bytes) {
  std::vector<Member> members;
  for (int i = 0; i < 120; ++i)
    members.push_back({"dir" + std::to_string(i % 7) + "/file" + std::to_string(i), text(std::to_string(i))});
  for (bool encipher : {false, true}) {
    OpenArchive a(fs_fixtures::make_archive(members, encipher, PakCompression::automatic));
    EXPECT_GT(a.fs.directory_size(), 2048u);
    for (const Member& m : members) EXPECT_EQ(read_whole(a.fs, m.path.c_str()), m.data) << m.path;
  }
}

}  // namespace
