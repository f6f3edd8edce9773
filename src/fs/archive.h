// Mounting the data archive and loading whole files from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fs/file_system.h"

// The file system every loader opens its data files in: the mounted archive, or null
// while nothing is mounted. Set by archive_mount, cleared by archive_unmount.
extern FileSystem* data_file_system;

// Mounts the archive: an embedded block first, else `name` in the current directory,
// else beside the executable. False when none is found (or, without a name, when no
// block is there and nothing was mounted before); the caller decides what that means.
bool archive_mount(const char* name);
void archive_unmount();

// Why a whole file could not be loaded.
enum class FileLoadFailure { none, not_found, out_of_memory };

// A whole file from the mounted archive, as a malloc block the caller frees, or null
// with the reason in `failure` (may be null). `size` (may be null) receives the byte count.
void* file_load_whole(const char* name, std::uint32_t* size, FileLoadFailure* failure = nullptr);
bool executable_directory(char* buffer, std::size_t capacity);
