#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "fs/archive.h"
#include "fs/pak_fs.h"
#include "host/host.h"
#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fs_fixtures::TempDir;

Bytes archive_with(const std::string& marker) {
  return fs_fixtures::make_archive({{"where.txt", Bytes(marker.begin(), marker.end())},
                                    {"empty", Bytes{}}},
                                   true, PakCompression::automatic);
}

std::string load_text(const char* name) {
  std::uint32_t size = 12345;
  void* block = file_load_whole(name, &size);
  std::string text(static_cast<const char*>(block), size);
  std::free(block);
  return text;
}

// Runs each test in a fresh temporary current directory with no embedded blocks, and
// leaves nothing mounted.
class ArchiveMount : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    host_set_embedded_blocks({});
  }
  void TearDown() override {
    archive_unmount();
    host_set_embedded_blocks({});
    EXPECT_EQ(chdir(old_cwd_.c_str()), 0);
  }
  TempDir dir_;
  std::string old_cwd_;
};

TEST_F(ArchiveMount, EmbeddedBlockComesFirstAndTheNameIsNotUsed) {
  static Bytes embedded;
  embedded = archive_with("embedded");
  static EmbeddedBlock blocks[1];
  blocks[0] = {"FileSystem", 102, embedded.data(), embedded.size()};
  host_set_embedded_blocks(blocks);
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "vexo.pak", archive_with("cwd")));
  ASSERT_TRUE(archive_mount("vexo.pak"));
  EXPECT_EQ(load_text("where.txt"), "embedded");
  archive_unmount();
  // Without a name the embedded block still mounts.
  ASSERT_TRUE(archive_mount(nullptr));
  EXPECT_EQ(load_text("WHERE.TXT"), "embedded");
}

TEST_F(ArchiveMount, NoBlockAndNoNameMountsNothingQuietly) {
  EXPECT_FALSE(archive_mount(nullptr));
  EXPECT_EQ(data_file_system, nullptr);
}

TEST_F(ArchiveMount, CurrentDirectoryBeforeTheExecutablesDirectory) {
  char exe_dir[4096];
  ASSERT_TRUE(executable_directory(exe_dir, sizeof exe_dir));
  std::string name = "fs-mount-test-" + std::to_string(getpid()) + ".pak";
  std::string beside = std::string(exe_dir) + "/" + name;
  ASSERT_TRUE(fs_fixtures::write_file(beside, archive_with("beside")));

  ASSERT_TRUE(archive_mount(name.c_str()));
  EXPECT_EQ(load_text("where.txt"), "beside");
  archive_unmount();

  ASSERT_TRUE(fs_fixtures::write_file(dir_ / name, archive_with("cwd")));
  ASSERT_TRUE(archive_mount(name.c_str()));
  EXPECT_EQ(load_text("where.txt"), "cwd");
  unlink(beside.c_str());
}

TEST_F(ArchiveMount, UnusableArchiveStillMountsAndUnmountTwiceIsHarmless) {
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "junk.pak", Bytes(100, 7)));
  ASSERT_TRUE(archive_mount("junk.pak"));
  ASSERT_NE(data_file_system, nullptr);
  EXPECT_FALSE(data_file_system->is_file("where.txt"));
  archive_unmount();
  EXPECT_EQ(data_file_system, nullptr);
  archive_unmount();
}

TEST_F(ArchiveMount, FileLoadWholeGivesMallocBlocksAndCounts) {
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "a.pak", archive_with("hello")));
  ASSERT_TRUE(archive_mount("a.pak"));
  void* block = file_load_whole("where.txt", nullptr);  // no size wanted
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 5), "hello");
  std::free(block);
  std::uint32_t size = 99;
  block = file_load_whole("empty", &size);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(size, 0u);
  std::free(block);
}

TEST_F(ArchiveMount, MissingArchiveAndMissingFileAreReportedNotFatal) {
  EXPECT_FALSE(archive_mount("missing-archive.pak"));
  EXPECT_EQ(data_file_system, nullptr);

  FileLoadFailure failure = FileLoadFailure::none;
  std::uint32_t size = 77;
  EXPECT_EQ(file_load_whole("x", &size, &failure), nullptr);  // nothing mounted
  EXPECT_EQ(failure, FileLoadFailure::not_found);
  EXPECT_EQ(size, 0u);

  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "a.pak", archive_with("x")));
  ASSERT_TRUE(archive_mount("a.pak"));
  failure = FileLoadFailure::none;
  EXPECT_EQ(file_load_whole("no/such.file", nullptr, &failure), nullptr);
  EXPECT_EQ(failure, FileLoadFailure::not_found);
  EXPECT_EQ(file_load_whole("no/such.file", nullptr), nullptr);  // no reason wanted
  void* block = file_load_whole("where.txt", &size, &failure);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(failure, FileLoadFailure::none);
  EXPECT_EQ(size, 1u);
  std::free(block);
}

TEST(ExecutableDirectory, IsThePathWithoutTheProgramsName) {
  char path[4096], dir[4096];
  ASSERT_TRUE(host_executable_path(path, sizeof path));
  ASSERT_TRUE(executable_directory(dir, sizeof dir));
  std::string p(path);
  EXPECT_EQ(std::string(dir), p.substr(0, p.rfind('/')));
  char tiny[4];
  EXPECT_FALSE(executable_directory(tiny, sizeof tiny));
  EXPECT_STREQ(tiny, "");
}

}  // namespace
