// The frame mounts an archive before anything else. Test programs that bring none embed
// an empty one, the way vexo embeds its own.
#pragma once

#include <cstdint>
#include <vector>

#include "authoring/pak_writer.h"
#include "host/host.h"

inline void embed_empty_archive() {
  if (host_find_embedded_block("FileSystem", 102) != nullptr) return;
  static std::vector<std::uint8_t> archive;
  static EmbeddedBlock block;
  if (archive.empty()) {
    PakWriter().build(PakWriterOptions{}, &archive, nullptr);
    block = EmbeddedBlock{"FileSystem", 102, archive.data(), archive.size()};
  }
  host_set_embedded_blocks({&block, 1});
}
