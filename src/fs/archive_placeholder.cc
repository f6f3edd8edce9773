// Stands in for the archive until the file systems are built: nothing is mounted and no
// file can be loaded.
#include "app/fatal.h"
#include "fs/archive.h"

bool archive_mount(const char*) { return true; }
void archive_unmount() {}
void* file_load_whole(const char* name, std::uint32_t*) {
  fatal_error("File not found: '%s'", name);
}
bool executable_directory(char*, std::size_t) { return false; }
