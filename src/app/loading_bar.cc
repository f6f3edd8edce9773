#include "app/app.h"
#include "gfx/surface.h"

void draw_loading_bar(const Surface& surface, float progress) {
  if (demo_config.progress_keep_background == 0) surface_clear(surface, 0);
  // The products are formed wider than single precision: 200 x 0.03f lies just below 6
  // there, which gives the 5-pixel bar, where a float product would round up to 6.
  unsigned h = static_cast<unsigned>(static_cast<double>(surface.height) * double{0.03f});
  unsigned top = (static_cast<unsigned>(surface.height) - h) / 2;
  unsigned w = static_cast<unsigned>(static_cast<double>(surface.width) * double{progress});
  surface_fill_rect(surface, 0, static_cast<int>(top), w, h, 0xFFFFFFFFu);
}
