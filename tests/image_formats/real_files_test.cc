// Pictures that nobody here wrote (GIFs shipped by Debian packages) and BMP, PCX and TGA
// files that Pillow writes from them must decode to the pixels Pillow reads. Skips when
// Pillow or the pictures are missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <string>
#include <unistd.h>

#include "tests/image_formats/format_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace image_formats_test;

// For each picture given: writes derived files next to a raw reference of what Pillow
// reads from every file ("W H C\n" then W*H*C bytes, C = 3 or 4).
const char* kScript = R"PY(
import sys, os
from PIL import Image
out = sys.argv[1]
def ref(im, path):
    mode = 'RGBA' if im.mode in ('RGBA', 'LA') else 'RGB'
    data = im.convert(mode).tobytes()
    with open(path + '.ref', 'wb') as f:
        f.write(b'%d %d %d\n' % (im.size[0], im.size[1], len(mode)))
        f.write(data)
for n, src in enumerate(sys.argv[2:]):
    try:
        im = Image.open(src)
        im.seek(0)
        if im.tile and im.tile[0][1] != (0, 0) + im.size:
            continue  # first image smaller than the screen: not comparable
        base = os.path.join(out, 'f%02d' % n)
        im.load()
        os.symlink(os.path.abspath(src), base + '.gif')
        ref(im, base + '.gif')
        p = im.convert('RGB').quantize(256) if im.mode != 'P' else im.copy()
        p.info.pop('transparency', None)
        rgb = im.convert('RGB')
        rgba = im.convert('RGBA')
        for name, pic, kw in (('p.bmp', p, {}), ('rgb.bmp', rgb, {}), ('rgba.bmp', rgba, {}),
                              ('p.pcx', p, {}), ('rgb.pcx', rgb, {}),
                              ('p.tga', p, {}), ('rgb.tga', rgb, {}), ('pil.gif', p, {'interlace': True}),
                              ('rle.tga', rgb, {'compression': 'tga_rle'}),
                              ('rgba_rle.tga', rgba, {'compression': 'tga_rle'}),
                              ('grey.tga', rgb.convert('L'), {})):
            path = base + '_' + name
            pic.save(path, **kw)
            ref(Image.open(path), path)
    except Exception as e:
        print('skipped', src, e, file=sys.stderr)
)PY";

std::vector<std::string> shipped_gifs() {
  std::vector<std::string> found;
  for (const char* dir : {"/usr/share/tcltk", "/usr/share/doc/cmake-data", "/usr/share/doc/libxslt1-dev",
                          "/usr/share/doc/cscope", "/usr/share/doc"}) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (ec) break;
      if (it->path().extension() == ".gif" && it->is_regular_file(ec)) found.push_back(it->path());
      if (found.size() >= 12) return found;
    }
  }
  return found;
}

Bytes read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RealFiles, DecodeLikePillow) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  const auto gifs = shipped_gifs();
  if (gifs.empty()) GTEST_SKIP() << "no GIF pictures found under /usr/share";

  const fs::path dir = fs::temp_directory_path() / ("kestol_image_formats_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    std::ofstream(dir / "make.py") << kScript;
  }
  std::string cmd = "/usr/bin/python3 " + (dir / "make.py").string() + " " + dir.string();
  for (const auto& g : gifs) cmd += " '" + g + "'";
  cmd += " 2>" + (dir / "log.txt").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "the Pillow script failed";

  int compared = 0;
  std::map<std::string, int> per_kind;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const fs::path ref_path = entry.path();
    if (ref_path.extension() != ".ref") continue;
    const fs::path pic = ref_path.parent_path() / ref_path.stem();
    std::ifstream ref(ref_path, std::ios::binary);
    unsigned w = 0, h = 0, c = 0;
    ref >> w >> h >> c;
    ref.get();
    Bytes want(std::size_t(w) * h * c);
    ref.read(reinterpret_cast<char*>(want.data()), std::streamsize(want.size()));
    const Bytes file = read_file(pic);
    const PixelFormat format = c == 4 ? PixelFormat::argb32 : PixelFormat::rgb24;
    Decoded d = decode_bytes(file, format, pic.filename().c_str());
    ASSERT_TRUE(d.ok) << pic;
    ASSERT_EQ(d.width, w) << pic;
    ASSERT_EQ(d.height, h) << pic;
    if (c == 4) {  // Pillow's RGBA against our B, G, R, A bytes
      for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
        const Bytes got = {d.pixels[i * 4 + 2], d.pixels[i * 4 + 1], d.pixels[i * 4], d.pixels[i * 4 + 3]};
        ASSERT_EQ(got, Bytes(want.begin() + i * 4, want.begin() + i * 4 + 4)) << pic << " pixel " << i;
      }
    } else {
      ASSERT_EQ(d.pixels, want) << pic;
    }
    ++compared;
    ++per_kind[pic.extension().string()];
  }
  EXPECT_GT(per_kind[".gif"], 0);
  EXPECT_GT(per_kind[".bmp"], 0);
  EXPECT_GT(per_kind[".pcx"], 0);
  EXPECT_GT(per_kind[".tga"], 0);
  std::printf("compared %d files from %zu shipped GIFs\n", compared, gifs.size());
  fs::remove_all(dir);
}

}  // namespace
