#include "tests/support/fs_fixtures.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs_fixtures {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestol-fs-XXXXXX").string();
  std::vector<char> text(pattern.begin(), pattern.end());
  text.push_back('\0');
  if (mkdtemp(text.data()) != nullptr) path_ = text.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool read_file(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

std::vector<std::uint8_t> random_bytes(std::mt19937& rng, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

std::vector<std::uint8_t> compressible_bytes(std::mt19937& rng, std::size_t size) {
  static const char* words[] = {"kestol ", "vexo ", "demo ", "pattern ", "row ", "    ",
                                "\n", "AAAAAAAAAAAAAAAAAAAAAAAAAAAA", "0123456789"};
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < size) {
    if (rng() % 16 == 0) {
      bytes.push_back(static_cast<std::uint8_t>(rng()));
      continue;
    }
    const char* w = words[rng() % (sizeof words / sizeof *words)];
    for (; *w != '\0' && bytes.size() < size; ++w) bytes.push_back(static_cast<std::uint8_t>(*w));
  }
  return bytes;
}

std::vector<std::uint8_t> make_archive(const std::vector<Member>& members, bool encipher,
                                       PakCompression compression) {
  PakWriter writer;
  std::string error;
  for (const Member& m : members) EXPECT_TRUE(writer.add_file(m.path, m.data, &error)) << error;
  PakWriterOptions options;
  options.encipher = encipher;
  options.compression = compression;
  std::vector<std::uint8_t> archive;
  EXPECT_TRUE(writer.build(options, &archive, &error)) << error;
  return archive;
}

ChildResult run_in_child(void (*fn)(void* context), void* context) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return {-1, ""};
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return {-1, ""};
  if (child == 0) {
    dup2(pipe_ends[1], 2);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    fn(context);
    std::fflush(nullptr);
    _exit(0);
  }
  close(pipe_ends[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(pipe_ends[0]);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return {-1, text};
  return {WEXITSTATUS(status), text};
}

SmallDisk::SmallDisk(const std::string& where, const char* size) : where_(where) {
  mkdir(where.c_str(), 0777);
  mounted_ = geteuid() == 0 &&
             mount("tmpfs", where.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) umount(where_.c_str());
}

ToolRun run_command(const std::string& command, const TempDir& dir, const std::string& redirect) {
  const std::string err_file = dir / "stderr.txt";
  const std::string line = command + " 2>" + err_file + " " + redirect;
  ToolRun result{-1, "", ""};
  std::FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::vector<std::uint8_t> err;
  read_file(err_file, &err);
  result.err.assign(err.begin(), err.end());
  return result;
}

}  // namespace fs_fixtures
