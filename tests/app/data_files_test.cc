// Start-up's view of the archive: the file systems only report; here a failure ends the
// program with the message naming the archive or the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "app/data_files.h"
#include "fs/archive.h"
#include "host/host.h"
#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void mount_missing(void*) { mount_data_archive("missing-archive.pak"); }
void mount_nothing(void*) { mount_data_archive(nullptr); }
void load_missing(void*) {
  mount_data_archive("a.pak");
  load_data_file("no/such.file", nullptr);
}
void load_unmounted(void*) { load_data_file("x", nullptr); }

TEST(DataFiles, MissingArchiveOrFileIsFatalWithItsName) {
  fs_fixtures::TempDir dir;
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  host_set_embedded_blocks({});

  auto r = fs_fixtures::run_in_child(mount_missing, nullptr);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.error_text.find("Error opening archive 'missing-archive.pak'.\n"), std::string::npos)
      << r.error_text;
  r = fs_fixtures::run_in_child(mount_nothing, nullptr);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.error_text.find("Error opening archive ''."), std::string::npos) << r.error_text;

  ASSERT_TRUE(fs_fixtures::write_file(dir / "a.pak",
                                      fs_fixtures::make_archive({{"a", Bytes{1}}}, true,
                                                                PakCompression::automatic)));
  r = fs_fixtures::run_in_child(load_missing, nullptr);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.error_text.find("File not found: 'no/such.file'\n"), std::string::npos) << r.error_text;
  r = fs_fixtures::run_in_child(load_unmounted, nullptr);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.error_text.find("File not found: 'x'"), std::string::npos) << r.error_text;

  // A present file loads whole and starts nothing fatal.
  ASSERT_TRUE(archive_mount("a.pak"));
  std::uint32_t size = 0;
  void* block = load_data_file("a", &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 1u);
  std::free(block);
  archive_unmount();
  EXPECT_EQ(chdir(cwd), 0);
}

}  // namespace
