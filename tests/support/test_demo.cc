#include "tests/support/test_demo.h"

#include "tests/support/empty_archive.h"

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
