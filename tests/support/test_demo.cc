#include "tests/support/test_demo.h"

#include <vector>

#include "fs/pak_writer.h"
#include "host/host.h"

namespace {

// The frame mounts an archive before anything else. Tests that bring none get an empty
// one, embedded the way vexo embeds its own.
void embed_empty_archive() {
  if (host_find_embedded_block("FileSystem", 102) != nullptr) return;
  static std::vector<std::uint8_t> archive;
  static EmbeddedBlock block;
  if (archive.empty()) {
    PakWriter().build(PakWriterOptions{}, &archive, nullptr);
    block = EmbeddedBlock{"FileSystem", 102, archive.data(), archive.size()};
  }
  host_set_embedded_blocks({&block, 1});
}

}  // namespace

void demo_configure(DemoConfig& config) {
  embed_empty_archive();
  if (test_demo::configure) test_demo::configure(config);
}
bool demo_load(DemoConfig& config) { return test_demo::load ? test_demo::load(config) : true; }
bool demo_frame(const Screen& screen, const FrameClock& clock) {
  return test_demo::frame ? test_demo::frame(screen, clock) : false;
}
void demo_unload() {
  if (test_demo::unload) test_demo::unload();
}
