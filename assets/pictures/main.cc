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

struct Job {
  const char* name;
  art::Canvas (*make)();
};

// The sequence tells one story: a night at sea turns to dawn, the land by day, the world
// dissolving into light, geometry and number, a journey out into space, the return to a
// city at dusk, the last sunset and the name.
const Job kSequence[16] = {
    {"01", art::scene_night_sea}, {"02", art::scene_sunrise},   {"03", art::scene_mountains},
    {"04", art::scene_lake},      {"05", art::scene_spheres},   {"06", art::scene_metaballs},
    {"07", art::scene_sponge},    {"08", art::scene_mandelbrot}, {"09", art::scene_julia},
    {"10", art::scene_tunnel},    {"11", art::scene_nebula},    {"12", art::scene_planet},
    {"13", art::scene_galaxy},    {"14", art::scene_city_dusk}, {"15", art::scene_sunset},
    {"16", art::scene_title_type}};

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
    if (!writer.colour(job.name, job.make())) return 1;
    ++done;
    if (live) std::fprintf(stderr, "\rvexo-pictures: %2d/21 %s", done, job.name);
  }
  struct Pair {
    const char* colour;
    const char* mask;
    void (*make)(art::Canvas&, art::Grey&);
  };
  const Pair pairs[] = {{"o3", "m3", art::make_left_slider},
                        {"o4", "m4", art::make_right_slider},
                        {"o5", "m5", art::make_overlay},
                        {"logo", "mlogo", art::make_logo}};
  for (const Pair& p : pairs) {
    if (!want(p.colour)) continue;
    art::Canvas c;
    art::Grey m;
    p.make(c, m);
    if (!writer.colour(p.colour, c) || !writer.grey(p.mask, m)) return 1;
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
