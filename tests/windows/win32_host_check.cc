// win32-host-check.exe: checks of the Win32 host that need the real platform (run under
// wine by tests/windows/smoke.sh): the executable's path and directory, resources as
// embedded blocks, and the directory file system on backslash paths.
#include <cstdio>
#include <cstring>
#include <string>

#include "fs/archive.h"
#include "fs/directory_fs.h"
#include "fs/resource_fs.h"
#include "host/host.h"
#include "host/win32/win32.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void check_paths() {
  char path[MAX_PATH];
  check(host_executable_path(path, sizeof path), "the executable's path is known");
  std::string p = path;
  check(p.find('\\') == std::string::npos, "the path uses / between components");
  check(p.size() > 20 && _stricmp(p.c_str() + p.size() - 20, "win32-host-check.exe") == 0,
        "the path names this program");
  char small[8];
  check(!host_executable_path(small, sizeof small) && small[0] == '\0',
        "a path that does not fit gives false and an empty buffer");
  char directory[MAX_PATH];
  check(executable_directory(directory, sizeof directory), "executable_directory succeeds");
  std::string d = directory;
  check(p.compare(0, d.size(), d) == 0 && p[d.size()] == '/' && d.back() != '/',
        "the directory is the path without its last component");
}

void check_resources() {
  const EmbeddedBlock* block = host_find_embedded_block("FileSystem", 7);
  check(block != nullptr && block->size == 12 && std::memcmp(block->data, "hello world\n", 12) == 0,
        "resource 7 of type FileSystem is embedded block 7");
  check(host_find_embedded_block("FileSystem", 8) == nullptr, "no block 8");
  check(host_embedded_blocks().size() == 1, "one FileSystem block");
  ResourceFileSystem fs;
  check(fs.first_resource_name() == NameString("7"), "the first resource is named \"7\"");
  StreamPtr stream(fs.open(NameString("7"), mode_read));
  char text[16] = {};
  check(stream && stream->read(text, sizeof text) == 12 && std::strcmp(text, "hello world\n") == 0,
        "the resource reads back");
  check(host_load_icon(101) != nullptr, "icon 101 loads");
}

void check_directory_fs() {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  DirectoryFileSystem current{NameString()};
  check(current.root() == NameString(std::string(cwd) + "\\"),
        "an empty root is the current directory with a closing backslash");
  DirectoryFileSystem with_slash{NameString("scratch/")};
  check(with_slash.root() == NameString("scratch\\"), "a root's / becomes one closing backslash");
  check(with_slash.disk_path(NameString("/a/b.txt")) == "scratch\\a\\b.txt",
        "virtual names map to backslash paths");

  DirectoryFileSystem fs{NameString("scratch")};
  {
    StreamPtr out(fs.open(NameString("sub/deeper/f.txt"), mode_write));
    check(out != nullptr, "mode 2 creates the file and its directories");
    check(exists("scratch\\sub\\deeper\\f.txt"), "the file is where the backslash path says");
    char c;
    check(out && out->read(&c, 1) == 0, "read on a write stream gives 0");
    check(out && out->write("12345", 5) == 5, "write");
  }
  check(fs.file_size(NameString("sub/deeper/f.txt")) == 5, "file_size");
  check(fs.file_size(NameString("sub/missing.txt")) == 0, "file_size of a missing file is 0");
  check(!fs.is_file(NameString("sub/deeper")) && fs.is_file(NameString("/sub/deeper/f.txt")),
        "is_file tells files from directories; a leading / names the same file");
  check(fs.open(NameString("sub/missing.txt"), mode_read) == nullptr, "mode 1 does not create");
  {
    StreamPtr in(fs.open(NameString("sub/deeper/f.txt"), mode_read));
    char text[8] = {};
    check(in && in->read(text, 8) == 5 && std::strcmp(text, "12345") == 0, "read back");
    check(in && in->write("x", 1) == 0, "write on a read stream gives 0");
    check(in && in->seek(5) && !in->seek(6) && in->tell() == 5, "seek to the end, not beyond");
    check(in && !in->set_size(2), "set_size on a read stream fails");
  }
  {
    StreamPtr both(fs.open(NameString("sub/deeper/f.txt"), mode_read_write));
    check(both && !both->set_size(10) && both->size() == 5, "set_size cannot lengthen");
    check(both && both->set_size(2) && both->size() == 2, "set_size shortens");
  }
  FileFinder* finder = fs.find_first(NameString("sub/*"));
  bool dot = false;
  int count = 0;
  if (finder != nullptr) {
    do {
      std::string name(finder->name().view());
      dot = dot || name == "sub/." || name == "sub/..";
      ++count;
      check(name == "sub/deeper" && finder->is_directory(), "find_first lists sub/deeper");
    } while (fs.find_next(finder));
    fs.find_close(finder);
  }
  check(count == 1 && !dot, "no . or .. entries");
  check(fs.remove(NameString("sub/deeper/f.txt")), "remove");
  check(!exists("scratch\\sub\\deeper") && !exists("scratch\\sub") && exists("scratch"),
        "emptied directories go, the root stays");
}

}  // namespace

int main() {
  CreateDirectoryA("scratch", nullptr);
  check_paths();
  check_resources();
  check_directory_fs();
  RemoveDirectoryA("scratch");
  std::printf("%s\n", failures == 0 ? "all checks passed" : "checks failed");
  return failures == 0 ? 0 : 1;
}
