// Mounting the data archive and loading whole files from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fs/file_system.h"

// The file system every loader opens its data files in: the mounted archive, or null
// while nothing is mounted. Set by archive_mount, cleared by archive_unmount.
extern FileSystem* data_file_system;

bool archive_mount(const char* name);
void archive_unmount();
// A whole file from the mounted archive, as a malloc block the caller frees; a missing
// file is a fatal error. `size` (may be null) receives the byte count.
void* file_load_whole(const char* name, std::uint32_t* size);
bool executable_directory(char* buffer, std::size_t capacity);
