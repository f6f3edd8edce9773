// The pictures of the demo, one function each.
#pragma once

#include "canvas.h"

namespace art {

Canvas scene_night_sea();
Canvas scene_sunrise();
Canvas scene_mountains();
Canvas scene_lake();
Canvas scene_spheres();
Canvas scene_metaballs();
Canvas scene_sponge();
Canvas scene_mandelbrot();
Canvas scene_julia();
Canvas scene_tunnel();
Canvas scene_nebula();
Canvas scene_planet();
Canvas scene_galaxy();
Canvas scene_city_dusk();
Canvas scene_sunset();
Canvas scene_title_type();

// The title picture with its mask, the overlay drawn over it, and the two sliders.
void make_logo(Canvas& colour, Grey& mask);
void make_overlay(Canvas& colour, Grey& mask);
void make_left_slider(Canvas& colour, Grey& mask);   // about 160 pixels wide
void make_right_slider(Canvas& colour, Grey& mask);  // 320 wide, content on the right
// A small square icon for the window.
Canvas make_icon(int size);

// Signed distance (in pixels) from (x, y) to text drawn with the stroke font, centred on
// (cx, cy) with letters `size` pixels tall. Negative inside the strokes' core line, so the
// caller decides the stroke width.
struct TextLayout;
float text_distance(const char* text, float cx, float cy, float size, float x, float y);

}  // namespace art
