#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "fs/directory_fs.h"
#include "tests/support/fs_fixtures.h"

namespace {

using fs_fixtures::exists;
using fs_fixtures::TempDir;

std::vector<std::uint8_t> bytes_of(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string read_all(Stream* stream) {
  std::string text(stream->size(), '\0');
  EXPECT_EQ(stream->read(text.data(), static_cast<std::uint32_t>(text.size())), text.size());
  return text;
}

TEST(DirectoryFileSystem, RootAlwaysEndsWithOneSlash) {
  TempDir dir;
  EXPECT_EQ(DirectoryFileSystem(NameString(dir.path())).root().view(), dir.path() + "/");
  EXPECT_EQ(DirectoryFileSystem(NameString(dir.path() + "/")).root().view(), dir.path() + "/");
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(DirectoryFileSystem(NameString()).root().view(), std::string(cwd) + "/");
}

TEST(DirectoryFileSystem, OpensBelowTheRootWithOrWithoutALeadingSlash) {
  TempDir dir;
  ASSERT_TRUE(fs_fixtures::write_file(dir.path() + "/../outside-" + std::to_string(getpid()),
                                      bytes_of("x")));
  std::string outside = dir.path() + "/../outside-" + std::to_string(getpid());
  mkdir((dir / "sub").c_str(), 0777);
  ASSERT_TRUE(fs_fixtures::write_file(dir / "sub/f.txt", bytes_of("hello")));
  DirectoryFileSystem fs{NameString(dir.path())};
  for (const char* name : {"sub/f.txt", "/sub/f.txt"}) {
    StreamPtr s(fs.open(name, mode_read));
    ASSERT_TRUE(s) << name;
    EXPECT_EQ(read_all(s.get()), "hello");
    EXPECT_EQ(s->owner, &fs);
    EXPECT_EQ(s->name.view(), name);
  }
  EXPECT_EQ(fs.open("//sub/f.txt", mode_read), nullptr);
  EXPECT_EQ(fs.open("missing", mode_read), nullptr);
  EXPECT_EQ(fs.open("sub", mode_read), nullptr);  // a directory is no file
  std::string escape = "../outside-" + std::to_string(getpid());
  EXPECT_EQ(fs.open(NameString(escape), mode_read), nullptr);
  EXPECT_FALSE(fs.is_file(NameString(escape)));
  unlink(outside.c_str());

  EXPECT_TRUE(fs.is_file("sub/f.txt"));
  EXPECT_FALSE(fs.is_file("sub"));
  EXPECT_EQ(fs.file_size("sub/f.txt"), 5u);
  EXPECT_EQ(fs.file_size("missing"), 0u);  // 0 here, all ones on the other file systems
  EXPECT_EQ(fs.file_size("a\\b"), 0u);
  EXPECT_EQ(fs.reserved("sub/f.txt", 7), 0);
}

TEST(DirectoryFileSystem, WriteModesCreateFilesAndMissingDirectories) {
  TempDir dir;
  DirectoryFileSystem fs{NameString(dir.path())};
  {
    StreamPtr s(fs.open("a/b/c.bin", mode_write));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->write("12345", 5), 5u);
    char c;
    EXPECT_EQ(s->read(&c, 1), 0u);  // mode_write cannot read
  }
  EXPECT_TRUE(exists(dir / "a/b/c.bin"));
  {
    StreamPtr s(fs.open("a/b/c.bin", mode_read));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->write("x", 1), 0u);  // mode_read cannot write
    EXPECT_EQ(read_all(s.get()), "12345");
  }
  {
    StreamPtr s(fs.open("a/b/c.bin", mode_read_write));  // opens, does not truncate
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size(), 5u);
    EXPECT_TRUE(s->seek(5));
    EXPECT_EQ(s->write("67", 2), 2u);
    EXPECT_TRUE(s->seek(0));
    EXPECT_EQ(read_all(s.get()), "1234567");
  }
  EXPECT_EQ(fs.open("a/b/c.bin", 4), nullptr);
}

TEST(FileStream, ReadsSeeksAndCutsLikeTheOtherStreams) {
  TempDir dir;
  ASSERT_TRUE(fs_fixtures::write_file(dir / "f", bytes_of("0123456789")));
  DirectoryFileSystem fs{NameString(dir.path())};
  StreamPtr s(fs.open("f", mode_read_write));
  ASSERT_TRUE(s);
  char buffer[16];
  EXPECT_EQ(s->read(buffer, 4), 4u);
  EXPECT_EQ(s->tell(), 4u);
  EXPECT_EQ(s->read(buffer, 16), 6u);  // only what remains
  EXPECT_EQ(s->read(buffer, 16), 0u);
  EXPECT_TRUE(s->seek(10));  // the end itself is allowed
  EXPECT_FALSE(s->seek(11));
  EXPECT_EQ(s->tell(), 10u);

  EXPECT_FALSE(s->set_size(11));  // never lengthens
  EXPECT_EQ(s->size(), 10u);
  EXPECT_TRUE(s->seek(2));
  EXPECT_TRUE(s->set_size(6));
  EXPECT_EQ(s->size(), 6u);
  EXPECT_EQ(s->tell(), 2u);  // kept: it lies before the new end
  EXPECT_TRUE(s->seek(6));
  EXPECT_TRUE(s->set_size(3));
  EXPECT_EQ(s->tell(), 3u);  // moved to the new end
  s.reset();
  std::vector<std::uint8_t> left;
  ASSERT_TRUE(fs_fixtures::read_file(dir / "f", &left));
  EXPECT_EQ(left, bytes_of("012"));

  StreamPtr reader(fs.open("f", mode_read));
  EXPECT_FALSE(reader->set_size(1));
}

// Sizes and positions past 2 and 4 GiB (a sparse file: no disk space is used). A build with
// 32-bit file offsets fails to open it or wraps the position to 1 GiB + 1.
TEST(FileStream, SizesAndPositionsPastFourGibibytes) {
  TempDir dir;
  constexpr std::uint64_t far = (std::uint64_t{5} << 30) + 1;
  {
    int handle = ::open64((dir / "big").c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(::pwrite64(handle, "X", 1, static_cast<off64_t>(far)), 1);
    ::close(handle);
  }
  DirectoryFileSystem fs{NameString(dir.path())};
  EXPECT_EQ(fs.file_size("big"), far + 1);
  StreamPtr s(fs.open("big", mode_read));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->size(), far + 1);
  ASSERT_TRUE(s->seek(far));
  EXPECT_EQ(s->tell(), far);
  char c = 0;
  EXPECT_EQ(s->read(&c, 1), 1u);
  EXPECT_EQ(c, 'X');
  EXPECT_FALSE(s->seek(far + 2));
  EXPECT_FALSE(s->seek(~std::uint64_t{0} - 1));

  FileFinder* finder = fs.find_first("big");
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(finder->size(), far + 1);
  fs.find_close(finder);
}

TEST(DirectoryFileSystem, RemovePrunesEmptiedDirectoriesButNeverTheRoot) {
  TempDir dir;
  DirectoryFileSystem fs{NameString(dir.path())};
  StreamPtr(fs.open("a/b/c/only.txt", mode_write));
  StreamPtr(fs.open("a/keep.txt", mode_write));
  StreamPtr(fs.open("top.txt", mode_write));
  ASSERT_TRUE(exists(dir / "a/b/c/only.txt"));

  EXPECT_FALSE(fs.remove("a/b/c"));  // directories are not removed by name
  EXPECT_TRUE(fs.remove("a/b/c/only.txt"));
  EXPECT_FALSE(exists(dir / "a/b"));  // c and b emptied and pruned
  EXPECT_TRUE(exists(dir / "a/keep.txt"));
  EXPECT_FALSE(fs.remove("a/b/c/only.txt"));

  EXPECT_TRUE(fs.remove("/a/keep.txt"));
  EXPECT_FALSE(exists(dir / "a"));
  EXPECT_TRUE(fs.remove("top.txt"));
  EXPECT_TRUE(exists(dir.path()));  // the root stays even when empty
}

TEST(DirectoryFileSystem, FindListsSortedMatchesWithThePatternsDirectory) {
  TempDir dir;
  DirectoryFileSystem fs{NameString(dir.path())};
  for (const char* name : {"d/b.jpg", "d/a.jpg", "d/c.txt", "d/readme", "d/sub/x", "d/readme.txt"})
    StreamPtr(fs.open(name, mode_write))->write("abc", 3);

  auto list = [&](const char* pattern) {
    std::vector<std::string> names;
    FileFinder* finder = fs.find_first(pattern);
    if (finder == nullptr) return names;
    do {
      names.push_back(std::string(finder->name().view()) + (finder->is_directory() ? "/" : ""));
    } while (fs.find_next(finder));
    fs.find_close(finder);
    return names;
  };
  EXPECT_EQ(list("d/*.jpg"), (std::vector<std::string>{"d/a.jpg", "d/b.jpg"}));
  EXPECT_EQ(list("/d/*.jpg"), (std::vector<std::string>{"/d/a.jpg", "/d/b.jpg"}));
  EXPECT_EQ(list("d/*"), (std::vector<std::string>{"d/a.jpg", "d/b.jpg", "d/c.txt", "d/readme",
                                                   "d/readme.txt", "d/sub/"}));
  EXPECT_EQ(list("d/readme."), (std::vector<std::string>{"d/readme"}));
  EXPECT_EQ(list("d/readme*"), (std::vector<std::string>{"d/readme.txt"}));
  EXPECT_EQ(list("d/s*"), std::vector<std::string>{});  // directories match as "/sub"
  EXPECT_TRUE(list("*").size() == 1);                    // never "." or ".."
  EXPECT_EQ(fs.find_first("x/*"), nullptr);
  EXPECT_EQ(fs.find_first("d*/a"), nullptr);

  FileFinder* finder = fs.find_first("d/a.jpg");
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(finder->size(), 3u);
  EXPECT_FALSE(fs.find_next(finder));
  fs.find_close(finder);
}

}  // namespace
