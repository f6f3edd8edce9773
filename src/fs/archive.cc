// Finding the data archive (an embedded block, the current directory, the executable's
// directory), stacking the file systems over it, and loading whole files from it.
#include "fs/archive.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "fs/directory_fs.h"
#include "fs/pak_fs.h"
#include "fs/resource_fs.h"
#include "host/host.h"

namespace {

std::unique_ptr<FileSystem> host_file_system;
StreamPtr archive_stream;
std::unique_ptr<FileSystem> data_file_system_holder;

void set_data_file_system(std::unique_ptr<FileSystem> fs) {
  data_file_system_holder = std::move(fs);
  data_file_system = data_file_system_holder.get();
}

}  // namespace

FileSystem* data_file_system = nullptr;

bool archive_mount(const char* name) {
  auto resources = std::make_unique<ResourceFileSystem>();
  archive_stream.reset(resources->open(resources->first_resource_name(), mode_read));
  if (archive_stream) {
    host_file_system = std::move(resources);
    set_data_file_system(std::make_unique<PakFileSystem>(archive_stream.get()));
    return true;
  }
  resources.reset();
  if (name == nullptr) return data_file_system != nullptr;

  host_file_system = std::make_unique<DirectoryFileSystem>(NameString());
  archive_stream.reset(host_file_system->open(NameString(name), mode_read));
  char directory[4096];
  if (!archive_stream && executable_directory(directory, sizeof directory)) {
    host_file_system = std::make_unique<DirectoryFileSystem>(NameString(directory));
    archive_stream.reset(host_file_system->open(NameString(name), mode_read));
  }
  if (!archive_stream) {
    host_file_system.reset();
    return false;
  }
  set_data_file_system(std::make_unique<PakFileSystem>(archive_stream.get()));
  return true;
}

void archive_unmount() {
  // The pak file system first (it leaves the stream open), then the stream, then the
  // file system that made the stream.
  set_data_file_system(nullptr);
  if (archive_stream) {
    archive_stream.reset();
    host_file_system.reset();
  }
}

void* file_load_whole(const char* name, std::uint32_t* size, FileLoadFailure* failure) {
  FileLoadFailure ignored;
  FileLoadFailure& why = failure != nullptr ? *failure : ignored;
  why = FileLoadFailure::none;
  if (size != nullptr) *size = 0;
  Stream* stream = data_file_system != nullptr
                       ? data_file_system->open(NameString(name), mode_read) : nullptr;
  if (stream == nullptr) {
    why = FileLoadFailure::not_found;
    return nullptr;
  }
  StreamPtr holder(stream);
  std::uint32_t n = static_cast<std::uint32_t>(stream->size());
  // One byte more than asked keeps a zero-byte member a real block.
  void* block = std::malloc(static_cast<std::size_t>(n) + 1);
  if (block == nullptr) {
    why = FileLoadFailure::out_of_memory;
    return nullptr;
  }
  std::uint32_t got = stream->read(block, n);
  if (size != nullptr) *size = got;
  return block;
}

bool executable_directory(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  if (!host_executable_path(buffer, capacity) || buffer[0] == '\0') {
    buffer[0] = '\0';
    return false;
  }
  char* first = std::strchr(buffer, '/');
  char* last = std::strrchr(buffer, '/');
  if (first == nullptr) {
    buffer[0] = '\0';
    return false;
  }
  // An executable in the root directory keeps the root's "/".
  if (last == first)
    last[1] = '\0';
  else
    *last = '\0';
  return true;
}
