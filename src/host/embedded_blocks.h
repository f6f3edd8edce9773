// How a program links its embedded blocks: define this table in one of its own sources
// (the build generates it for vexo). Programs that define nothing get an empty table.
#pragma once

#include <cstddef>

#include "host/host.h"

struct EmbeddedBlockTable {
  const EmbeddedBlock* blocks;
  std::size_t count;
};

extern const EmbeddedBlockTable host_embedded_block_table;
