// The file systems report failures; start-up turns them into the program's fatal errors.
#include "app/data_files.h"

#include "app/fatal.h"
#include "fs/archive.h"

void mount_data_archive(const char* name) {
  if (archive_mount(name)) return;
  if (name != nullptr) fatal_error("Error opening archive '%s'.\n", name);
  fatal_error("Error opening archive '%s'.", "");
}

void* load_data_file(const char* name, std::uint32_t* size) {
  FileLoadFailure failure = FileLoadFailure::none;
  void* block = file_load_whole(name, size, &failure);
  if (block != nullptr) return block;
  if (failure == FileLoadFailure::out_of_memory) fatal_error("Out of memory loading '%s'", name);
  fatal_error("File not found: '%s'", name);
}
