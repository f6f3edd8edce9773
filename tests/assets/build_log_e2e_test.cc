// The asset programs in a build log (standard error not a terminal): whole lines only, no
// carriage returns of a live progress line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string run(const std::string& cmd, int* status) {
  std::string out;
  if (FILE* p = popen((cmd + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    *status = pclose(p);
  }
  return out;
}

TEST(AssetPrograms, PrintPlainLinesIntoALog) {
  char tmpl[] = "/tmp/asset_log_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  std::ofstream(dir / "a.txt") << "first member\n";
  std::ofstream(dir / "b.txt") << "second member\n";

  int status = -1;
  const std::string pack = run(std::string(VEXO_PACK) + " '" + (dir / "x.pak").string() + "' '" +
                                   (dir / "a.txt").string() + "' '" + (dir / "b.txt").string() + "'",
                               &status);
  EXPECT_EQ(status, 0) << pack;
  EXPECT_EQ(pack.find('\r'), std::string::npos) << pack;
  EXPECT_EQ(pack.rfind("vexo-pack: 2 members, ", 0), 0u) << pack;

  const std::string pictures = run(std::string(VEXO_PICTURES) + " '" + dir.string() + "' --raw --only o3", &status);
  EXPECT_EQ(status, 0) << pictures;
  EXPECT_EQ(pictures.find('\r'), std::string::npos) << pictures;
  EXPECT_EQ(pictures.rfind("vexo-pictures: 1 pictures in ", 0), 0u) << pictures;
  fs::remove_all(dir);
}

}  // namespace
