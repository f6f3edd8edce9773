// `make run` builds the programs and installs what running needs, nothing for the tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen((cmd + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

TEST(MakeRun, BuildsOnlyTheProgramsAndInstallsOnlyWhatRunningNeeds) {
  if (run("command -v make").empty()) GTEST_SKIP() << "make is not installed";
  // What make would do (nothing is run): every build step names its targets, all programs.
  const std::string plan = run("make -n -C '" KESTOL_SOURCE_DIR "' run");
  const std::set<std::string> programs{"vexo", "vexo-capture", "kestol"};
  std::istringstream lines(plan);
  std::string line;
  int builds = 0;
  std::set<std::string> targets;
  while (std::getline(lines, line)) {
    if (line.find("cmake --build") == std::string::npos) continue;
    ++builds;
    const std::size_t at = line.find("--target ");
    ASSERT_NE(at, std::string::npos) << "builds everything: " << line;
    std::istringstream words(line.substr(at + 9));
    for (std::string word; words >> word;) targets.insert(word);
  }
  EXPECT_GE(builds, 1) << plan;
  EXPECT_EQ(targets, programs) << plan;
  // No test framework or test data among the packages.
  for (const char* package : {"libgtest-dev", "libbenchmark-dev", "xvfb", "bomberclone-data", "clang"})
    EXPECT_EQ(plan.find(std::string(" ") + package + " "), std::string::npos) << package << "\n" << plan;

  // And the programs themselves need nothing of the tests or benchmarks.
  const std::string commands = run("ninja -C '" KESTOL_BINARY_DIR "' -t commands vexo vexo-capture kestol");
  ASSERT_NE(commands.find("vexo-capture"), std::string::npos) << commands.substr(0, 500);
  for (const char* part : {"/tests/", "/bench/", "gtest", "benchmark"})
    EXPECT_EQ(commands.find(part), std::string::npos) << part;
}

}  // namespace
