// `kestol pak` where things go wrong: full disks, planted links, unreadable or linked
// inputs, hard links in the target, damaged and hostile directories, closed outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "fs/pak_format.h"
#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fs_fixtures::TempDir;

using fs_fixtures::ToolRun;

// Runs `kestol pak ARGUMENTS`; `redirect` may send standard output elsewhere.
ToolRun run(const std::string& arguments, const TempDir& dir, const std::string& redirect = "") {
  return fs_fixtures::run_command(std::string(KESTOL_TOOL) + " pak " + arguments, dir, redirect);
}

std::size_t count_entries(const std::string& folder) {
  std::size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(folder); it != std::filesystem::directory_iterator(); ++it) ++n;
  return n;
}

class PakSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(21);
    mkdir(src().c_str(), 0777);
    mkdir((src() + "/sub").c_str(), 0777);
    ASSERT_TRUE(fs_fixtures::write_file(src() + "/Readme.txt", Bytes{'h', 'i', '\n'}));
    ASSERT_TRUE(fs_fixtures::write_file(src() + "/sub/noise.bin", fs_fixtures::random_bytes(rng, 200000)));
  }
  std::string src() const { return dir_ / "src"; }
  // A plain archive of two equal-sized stored members "a" and "b" (root entries 0 and 1).
  Bytes two_members() {
    return fs_fixtures::make_archive({{"a", Bytes(100, 'a')}, {"b", Bytes(100, 'b')}}, false,
                                     PakCompression::never);
  }
  static std::uint8_t* entry(Bytes& archive, int index) {
    return archive.data() + pak_root_offset + 4 + pak_entry_size * index;
  }
  TempDir dir_;
};

TEST_F(PakSafety, CreateOnAFullDiskKeepsTheOldArchiveAndLeavesNothingBehind) {
  std::string disk = dir_ / "disk";
  fs_fixtures::SmallDisk small(disk, "64k");
  if (!small.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  // An old archive that fits; the new one (200 KB of noise) cannot.
  mkdir((dir_ / "little").c_str(), 0777);
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "little/x.txt", Bytes{'x'}));
  std::string archive = disk + "/a.pak";
  ASSERT_EQ(run("create " + archive + " " + (dir_ / "little"), dir_).exit_code, 0);
  Bytes before;
  ASSERT_TRUE(fs_fixtures::read_file(archive, &before));

  ToolRun full = run("create --compress never " + archive + " " + src(), dir_);
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  Bytes after;
  ASSERT_TRUE(fs_fixtures::read_file(archive, &after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(count_entries(disk), 1u);  // no temporary file left
}

TEST_F(PakSafety, ExtractOnAFullDiskStopsAndRemovesThePartialFile) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create --compress never " + archive + " " + src(), dir_).exit_code, 0);
  std::string disk = dir_ / "disk";
  fs_fixtures::SmallDisk small(disk, "64k");
  if (!small.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  ToolRun r = run("extract -C " + disk + " " + archive, dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_FALSE(fs_fixtures::exists(disk + "/sub/noise.bin"));
  EXPECT_EQ(count_entries(disk + "/sub"), 0u);
}

TEST_F(PakSafety, APlantedLinkIsNeverFollowed) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + src(), dir_).exit_code, 0);
  // A link where a fixed temporary name would be, leading to a file of someone else's.
  std::string victim = dir_ / "victim.txt";
  ASSERT_TRUE(fs_fixtures::write_file(victim, Bytes{'k', 'e', 'e', 'p'}));
  ASSERT_EQ(symlink(victim.c_str(), (archive + ".tmp").c_str()), 0);
  ToolRun r = run("create " + archive + " " + src(), dir_);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  Bytes kept;
  ASSERT_TRUE(fs_fixtures::read_file(victim, &kept));
  EXPECT_EQ(kept, (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(run("cat " + archive + " readme.txt", dir_).out, "hi\n");

  // A device as the output is written into, never replaced.
  EXPECT_EQ(run("create /dev/null " + src(), dir_).exit_code, 0);
  struct stat device;
  ASSERT_EQ(stat("/dev/null", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));

  // A folder that cannot take the new file: nothing is packed, the old archive stays.
  if (geteuid() != 0) {
    Bytes before;
    ASSERT_TRUE(fs_fixtures::read_file(archive, &before));
    chmod(dir_.path().c_str(), 0555);
    ToolRun refused = run("create " + archive + " " + src(), dir_);
    chmod(dir_.path().c_str(), 0755);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("Permission denied"), std::string::npos) << refused.err;
    Bytes after;
    ASSERT_TRUE(fs_fixtures::read_file(archive, &after));
    EXPECT_EQ(after, before);
  }
}

TEST_F(PakSafety, CreateKeepsTheOldModeAndLeavesItsOwnArchiveOut) {
  std::string archive = src() + "/inside.pak";
  ASSERT_EQ(run("create " + archive + " " + src(), dir_).exit_code, 0);
  chmod(archive.c_str(), 0640);
  ToolRun again = run("create " + archive + " " + src(), dir_);
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.err.find("leaving out"), std::string::npos) << again.err;
  struct stat info;
  ASSERT_EQ(stat(archive.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ToolRun listed = run("list " + archive, dir_);
  EXPECT_EQ(listed.out.find("inside.pak"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("noise.bin"), std::string::npos) << listed.out;
}

TEST_F(PakSafety, LinksInTheInputAreFollowedOnlyInsideIt) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(symlink("Readme.txt", (src() + "/alias.txt").c_str()), 0);
  ASSERT_EQ(symlink("sub", (src() + "/again").c_str()), 0);
  ToolRun r = run("create " + archive + " " + src(), dir_);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(run("cat " + archive + " alias.txt", dir_).out, "hi\n");
  EXPECT_EQ(run("cat " + archive + " again/noise.bin", dir_).exit_code, 0);

  mkdir((dir_ / "outside").c_str(), 0777);
  ASSERT_EQ(symlink((dir_ / "outside").c_str(), (src() + "/out").c_str()), 0);
  ToolRun outside = run("create " + archive + " " + src(), dir_);
  EXPECT_EQ(outside.exit_code, 1);
  EXPECT_NE(outside.err.find("outside"), std::string::npos) << outside.err;
  unlink((src() + "/out").c_str());

  ASSERT_EQ(symlink("..", (src() + "/sub/up").c_str()), 0);
  ToolRun loop = run("create " + archive + " " + src(), dir_);
  EXPECT_EQ(loop.exit_code, 1);
  EXPECT_NE(loop.err.find("loop"), std::string::npos) << loop.err;
  unlink((src() + "/sub/up").c_str());

  ASSERT_EQ(symlink("nowhere", (src() + "/dangling").c_str()), 0);
  ToolRun dangling = run("create " + archive + " " + src(), dir_);
  EXPECT_EQ(dangling.exit_code, 1);
  EXPECT_NE(dangling.err.find("leads nowhere"), std::string::npos) << dangling.err;
}

TEST_F(PakSafety, AnUnreadableInputIsAnErrorNamingIt) {
  // A file that opens but fails to read (even for root): the start of /proc/self/mem.
  std::string mem = src() + "/mem";
  ASSERT_EQ(symlink("/proc/self/mem", mem.c_str()), 0);
  ToolRun r = run("create " + (dir_ / "a.pak") + " " + src(), dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cannot read '" + mem + "': Input/output error"), std::string::npos) << r.err;
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "a.pak"));
  unlink(mem.c_str());

  if (geteuid() == 0) return;  // root opens every file
  std::string secret = src() + "/secret.txt";
  ASSERT_TRUE(fs_fixtures::write_file(secret, Bytes{'s'}));
  chmod(secret.c_str(), 0);
  ToolRun denied = run("create " + (dir_ / "a.pak") + " " + src(), dir_);
  EXPECT_EQ(denied.exit_code, 1);
  EXPECT_NE(denied.err.find("cannot read '" + secret + "': Permission denied"), std::string::npos) << denied.err;
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "a.pak"));
}

TEST_F(PakSafety, ExtractReplacesFilesInsteadOfWritingThroughHardLinks) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + src(), dir_).exit_code, 0);
  std::string out = dir_ / "out";
  mkdir(out.c_str(), 0777);
  std::string precious = dir_ / "precious.txt";
  ASSERT_TRUE(fs_fixtures::write_file(precious, Bytes{'o', 'l', 'd'}));
  ASSERT_EQ(link(precious.c_str(), (out + "/Readme.txt").c_str()), 0);
  ASSERT_EQ(run("extract -C " + out + " " + archive, dir_).exit_code, 0);
  Bytes kept, extracted;
  ASSERT_TRUE(fs_fixtures::read_file(precious, &kept));
  EXPECT_EQ(kept, (Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(fs_fixtures::read_file(out + "/Readme.txt", &extracted));
  EXPECT_EQ(extracted, (Bytes{'h', 'i', '\n'}));
}

TEST_F(PakSafety, MembersSharingDataAreRefused) {
  Bytes archive = two_members();
  put_le32(entry(archive, 1) + pak_entry_offset, get_le32(entry(archive, 0) + pak_entry_offset));
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "shared.pak", archive));
  ToolRun r = run("extract -C " + (dir_ / "out") + " " + (dir_ / "shared.pak"), dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("share data"), std::string::npos) << r.err;
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "out/a"));

  // Overlapping by one byte is as bad as sharing the start.
  archive = two_members();
  put_le32(entry(archive, 1) + pak_entry_offset, get_le32(entry(archive, 0) + pak_entry_offset) + 99);
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "overlap.pak", archive));
  EXPECT_EQ(run("extract -C " + (dir_ / "out") + " " + (dir_ / "overlap.pak"), dir_).exit_code, 1);
}

TEST_F(PakSafety, DamagedDirectoriesAreReportedByListInfoAndExtract) {
  struct Damage {
    const char* what;
    void (*apply)(Bytes&);
    const char* says;
  };
  const Damage damages[] = {
      {"count overruns", [](Bytes& a) { put_le32(a.data() + pak_root_offset, 1000); }, "more than"},
      {"name without NUL", [](Bytes& a) { std::memset(entry(a, 1), 'b', pak_name_size); }, "lacks its NUL"},
      {"names equal apart from case", [](Bytes& a) { entry(a, 1)[0] = 'A'; }, "apart from case"},
  };
  for (const Damage& d : damages) {
    Bytes archive = two_members();
    d.apply(archive);
    ASSERT_TRUE(fs_fixtures::write_file(dir_ / "bad.pak", archive));
    for (const char* sub : {"list ", "info ", "extract -C out "}) {
      ToolRun r = run(std::string(sub) + (dir_ / "bad.pak"), dir_);
      EXPECT_EQ(r.exit_code, 1) << d.what << " / " << sub;
      EXPECT_NE(r.err.find(d.says), std::string::npos) << d.what << " / " << sub << ": " << r.err;
    }
  }
}

TEST_F(PakSafety, ControlCharactersAreEscapedWhenListedAndRefusedOnExtract) {
  Bytes archive = two_members();
  std::memcpy(entry(archive, 1), "b\n\x1b[2J", 7);
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "odd.pak", archive));
  ToolRun listed = run("list " + (dir_ / "odd.pak"), dir_);
  EXPECT_EQ(listed.exit_code, 0);
  EXPECT_NE(listed.out.find("b\\n\\033[2J\n"), std::string::npos) << listed.out;
  ToolRun r = run("extract -C " + (dir_ / "out") + " " + (dir_ / "odd.pak"), dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("control characters"), std::string::npos) << r.err;
  EXPECT_TRUE(fs_fixtures::exists(dir_ / "out/a"));
  EXPECT_EQ(count_entries(dir_ / "out"), 1u);
}

TEST_F(PakSafety, DeepDirectoriesAreBounded) {
  // 6,000 tables each holding one sub-directory that leads to the next.
  constexpr std::uint32_t levels = 6000;
  Bytes archive(pak_header_size + levels * 84, 0);
  std::memcpy(archive.data(), pak_magic, sizeof pak_magic);
  put_le32(archive.data() + pak_directory_size_offset, static_cast<std::uint32_t>(archive.size()));
  std::uint32_t table = pak_root_offset;
  for (std::uint32_t i = 0; i < levels; ++i) {
    std::uint32_t next = pak_header_size + i * 84;
    put_le32(archive.data() + table, 1);
    std::memcpy(archive.data() + table + 4, "/dd", 3);
    put_le32(archive.data() + table + 4 + pak_entry_offset, next);
    table = next;
  }
  ASSERT_TRUE(fs_fixtures::write_file(dir_ / "deep.pak", archive));
  for (const char* sub : {"info ", "list ", "extract -C deep "}) {
    ToolRun r = run(std::string(sub) + (dir_ / "deep.pak"), dir_);
    EXPECT_EQ(r.exit_code, 1) << sub;
    EXPECT_NE(r.err.find("deeper than"), std::string::npos) << sub << r.err;
  }
}

TEST_F(PakSafety, WritesToAFullStandardOutputFail) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + src(), dir_).exit_code, 0);
  for (std::string sub : {"cat " + archive + " sub/noise.bin", "list " + archive, "info " + archive}) {
    ToolRun r = run(sub, dir_, "> /dev/full");
    EXPECT_EQ(r.exit_code, 1) << sub;
    EXPECT_NE(r.err.find("write error: No space left on device"), std::string::npos) << sub << r.err;
  }
}

TEST_F(PakSafety, ChattinessFollowsVerboseAndQuiet) {
  std::string archive = dir_ / "a.pak";
  ToolRun plain = run("create " + archive + " " + src(), dir_);
  EXPECT_EQ(plain.out, "");
  EXPECT_EQ(plain.err.find("noise.bin"), std::string::npos) << plain.err;
  ToolRun verbose = run("create --verbose " + archive + " " + src(), dir_);
  EXPECT_EQ(verbose.out, "Readme.txt\nsub/noise.bin\n");
  ToolRun quiet = run("create -q " + archive + " " + src(), dir_);
  EXPECT_EQ(quiet.out + quiet.err, "");
  ToolRun extracted = run("extract -v -C " + (dir_ / "out") + " " + archive, dir_);
  EXPECT_EQ(extracted.out, "sub/noise.bin\nReadme.txt\n");  // sub-directories come first
  EXPECT_EQ(run("extract -q -C " + (dir_ / "out") + " " + archive, dir_).err, "");
}

TEST_F(PakSafety, OnATerminalProgressIsOneLineRewrittenInPlace) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "needs script(1) for a terminal";
  std::string command = "/usr/bin/script -qec \"" + std::string(KESTOL_TOOL) + " pak create " +
                        (dir_ / "a.pak") + " " + src() + "\" /dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string seen;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) seen.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << seen;
  EXPECT_NE(seen.find("\r\033[Kkestol pak: packing 2/2"), std::string::npos) << seen;
  // The summary is the only line that ends: progress never scrolls the terminal.
  EXPECT_EQ(std::count(seen.begin(), seen.end(), '\n'), 1) << seen;
  EXPECT_NE(seen.find("wrote"), std::string::npos) << seen;
}

TEST_F(PakSafety, OptionsAreNotMemberNamesAndMasksIgnoreCase) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + src(), dir_).exit_code, 0);
  ToolRun unknown = run("list " + archive + " -l", dir_);
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("unknown option '-l'"), std::string::npos) << unknown.err;
  ToolRun bad_value = run("create --compress sometimes " + archive + " " + src(), dir_);
  EXPECT_EQ(bad_value.exit_code, 2);
  EXPECT_NE(bad_value.err.find("--compress wants auto, always or never"), std::string::npos);
  ToolRun masked = run("list " + archive + " 'README.*'", dir_);
  EXPECT_EQ(masked.exit_code, 0) << masked.err;
  EXPECT_NE(masked.out.find("Readme.txt"), std::string::npos) << masked.out;
  ToolRun in_folder = run("list " + archive + " 'SUB/*.BIN'", dir_);
  EXPECT_NE(in_folder.out.find("SUB/noise.bin"), std::string::npos) << in_folder.out;
  ToolRun help = run("extract --help", dir_);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: kestol pak extract", 0), 0u) << help.out;
}

}  // namespace
