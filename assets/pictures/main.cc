// vexo-pictures: renders the demo's twenty pictures (and the window icon) into a folder.
//   vexo-pictures OUTDIR [--raw] [--only NAME] [--icon FILE]
// Pictures are written as baseline JPEG; --raw writes PPM/PGM instead (for looking at the
// renders without the encoder's losses).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "output.h"
#include "scenes.h"

namespace {

// Chroma sampling per picture. Most pictures are smooth light and colour, where 2 x 2
// chroma is invisible and decodes faster; pictures with fine colour detail (fractal
// filaments, lit windows, a banded sun, lettering) keep their colour at every pixel.
enum Chroma : bool { half = false, full = true };

struct Job {
  const char* name;
  art::Canvas (*make)();
  Chroma chroma;
};

// The sequence tells one story: a night at sea turns to dawn, the land by day, the world
// dissolving into light, geometry and number, a journey out into space, the return to a
// city at dusk, the last sunset and the name.
const Job kSequence[16] = {
    {"01", art::scene_night_sea, half},  {"02", art::scene_sunrise, full},    {"03", art::scene_mountains, half},
    {"04", art::scene_lake, half},       {"05", art::scene_spheres, half},    {"06", art::scene_metaballs, half},
    {"07", art::scene_sponge, half},     {"08", art::scene_mandelbrot, full}, {"09", art::scene_julia, full},
    {"10", art::scene_tunnel, half},     {"11", art::scene_nebula, half},     {"12", art::scene_planet, half},
    {"13", art::scene_galaxy, half},     {"14", art::scene_city_dusk, full},  {"15", art::scene_sunset, full},
    {"16", art::scene_title_type, full}};

void usage() {
  std::puts(
      "usage: vexo-pictures OUTDIR [--raw] [--only NAME] [--icon FILE]\n"
      "Renders 01..16, o3/m3, o4/m4, o5/m5, logo/mlogo (JPEG) and icon.bmp into OUTDIR.\n"
      "  --icon FILE  write the window icon (32 x 32 BMP) there instead of OUTDIR/icon.bmp\n"
      "  --raw        write PPM/PGM instead of JPEG\n"
      "  --only NAME  render only the named picture (for example 07 or logo)");
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, only, icon_path;
  bool raw = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      usage();
      return 0;
    } else if (!std::strcmp(argv[i], "--raw")) {
      raw = true;
    } else if (!std::strcmp(argv[i], "--icon") && i + 1 < argc) {
      icon_path = argv[++i];
    } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
      only = argv[++i];
    } else if (out.empty() && argv[i][0] != '-') {
      out = argv[i];
    } else {
      std::fprintf(stderr, "vexo-pictures: unknown argument '%s'\n", argv[i]);
      usage();
      return 2;
    }
  }
  if (out.empty()) {
    usage();
    return 2;
  }
  PictureWriter writer(out, raw);
  auto want = [&](const char* n) { return only.empty() || only == n; };
  auto t0 = std::chrono::steady_clock::now();
  int done = 0;
  // A live line on a terminal; a build log gets the summary line alone.
  const bool live = isatty(fileno(stderr)) != 0;
  for (const Job& job : kSequence) {
    if (!want(job.name)) continue;
    if (!writer.colour(job.name, job.make(), job.chroma)) return 1;
    ++done;
    if (live) std::fprintf(stderr, "\rvexo-pictures: %2d/21 %s", done, job.name);
  }
  struct Pair {
    const char* colour;
    const char* mask;
    void (*make)(art::Canvas&, art::Grey&);
    Chroma chroma;
  };
  const Pair pairs[] = {{"o3", "m3", art::make_left_slider, full},
                        {"o4", "m4", art::make_right_slider, half},
                        {"o5", "m5", art::make_overlay, full},
                        {"logo", "mlogo", art::make_logo, full}};
  for (const Pair& p : pairs) {
    if (!want(p.colour)) continue;
    art::Canvas c;
    art::Grey m;
    p.make(c, m);
    if (!writer.colour(p.colour, c, p.chroma) || !writer.grey(p.mask, m)) return 1;
    ++done;
    if (live) std::fprintf(stderr, "\rvexo-pictures: %2d/21 %s", done, p.colour);
  }
  if (want("icon")) {
    if (!writer.icon(icon_path.empty() ? out + "/icon.bmp" : icon_path, art::make_icon(32))) return 1;
    ++done;
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::fprintf(stderr, "%svexo-pictures: %d pictures in %.1f s into %s\n", live ? "\r" : "", done, s, out.c_str());
  return 0;
}
