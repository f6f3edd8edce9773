// Temporary files of the capture: complete or nothing, and gone on every way out.
#include "tools/capture/temp_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class TempFiles : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    char tmpl[] = "/tmp/capture_temp_files_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }
  int entries() const { return static_cast<int>(std::distance(fs::directory_iterator(dir), {})); }
  static std::string read(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void plant(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }
};

TEST_F(TempFiles, TheTargetChangesOnlyWhenTheFileIsComplete) {
  const fs::path target = dir / "log";
  plant(target, "old");
  CheckedFile file;
  ASSERT_TRUE(file.create(target.string()));
  ASSERT_TRUE(file.print("%d %s\n", 7, "new"));
  EXPECT_EQ(read(target), "old");
  EXPECT_EQ(entries(), 2);  // the target and its temporary file
  ASSERT_TRUE(file.commit()) << file.error();
  EXPECT_EQ(read(target), "7 new\n");
  EXPECT_EQ(entries(), 1);
  // Made with the mode of any new file, not mkstemp's private one.
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<unsigned>(fs::status(target).permissions()), 0666u & ~mask);

  // Not committed: the target stays as it was and the temporary file goes.
  {
    CheckedFile abandoned;
    ASSERT_TRUE(abandoned.create(target.string()));
    abandoned.print("half");
  }
  EXPECT_EQ(read(target), "7 new\n");
  EXPECT_EQ(entries(), 1);

  std::string error;
  EXPECT_EQ(temp_file_beside((dir / "missing" / "x").string(), "", error), "");
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// A full disk, as a file-size limit gives it without privileges (SIGXFSZ ignored, so the
// write fails with EFBIG): the child reports what it saw through its exit code.
TEST_F(TempFiles, AFullDiskFailsWithItsCauseAndLeavesTheOldFile) {
  const fs::path target = dir / "log";
  plant(target, "old");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    CheckedFile file;
    if (!file.create(target.string())) _exit(10);
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i) failed = !file.print("line %d of the log\n", i);
    if (file.commit()) _exit(11);  // removes the temporary file
    const bool named = file.error() == "'" + target.string() + "': File too large";
    _exit(named ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read(target), "old");
  EXPECT_EQ(entries(), 1);
}

// exit() (how a fatal error inside the demo ends the program) and the usual signals.
TEST_F(TempFiles, RemovedOnExitAndOnSignals) {
  for (int how : {0, SIGTERM, SIGINT, SIGHUP}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      temp_files_install_cleanup();
      std::string error;
      if (temp_file_beside((dir / "video.mp4").string(), ".mp4", error).empty()) _exit(10);
      if (temp_file_beside((dir / "sound").string(), ".wav", error).empty()) _exit(10);
      if (how == 0) std::exit(1);
      raise(how);
      _exit(11);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (how == 0) {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 1);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status)) << how;
      EXPECT_EQ(WTERMSIG(status), how);  // still ends by the signal, as the caller expects
    }
    EXPECT_EQ(entries(), 0) << "after " << how;
  }
}

}  // namespace
