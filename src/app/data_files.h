// The demo's archive and files as start-up needs them: here a failure is fatal.
#pragma once

#include <cstdint>

// Mounts the data archive (see archive_mount); when none is found, a fatal error naming it.
void mount_data_archive(const char* name);
// A whole file of the mounted archive as a malloc block the caller frees (see
// file_load_whole); a missing file or a failed allocation is a fatal error.
void* load_data_file(const char* name, std::uint32_t* size);
