// vexo-pack: packs the demo's content into vexo.pak with the archive writer.
//   vexo-pack OUT.pak FILE...
// Members are named after the files (no folders), enciphered, and LZSS-compressed where
// that makes them smaller (the module; JPEG data does not shrink).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "authoring/pak_writer.h"

int main(int argc, char** argv) {
  if (argc < 3 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::puts("usage: vexo-pack OUT.pak FILE...\nPacks the files into an enciphered archive, compressing where it pays.");
    return argc >= 2 && argv[1][0] == '-' && argv[1][1] == 'h' ? 0 : (argc < 3 ? 2 : 0);
  }
  PakWriter writer;
  std::string error;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vexo-pack: cannot read '%s'\n", argv[i]);
      return 1;
    }
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string name = argv[i];
    if (auto slash = name.find_last_of('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (!writer.add_file(name, std::move(data), &error)) {
      std::fprintf(stderr, "vexo-pack: '%s': %s\n", argv[i], error.c_str());
      return 1;
    }
  }
  // A live line on a terminal; a build log gets the summary line alone.
  static const bool live = isatty(fileno(stderr)) != 0;
  PakWriterOptions options;
  options.encipher = true;
  options.compression = PakCompression::automatic;
  options.progress = [](const std::string& path, std::size_t index, std::size_t count) {
    if (live) std::fprintf(stderr, "\rvexo-pack: %2zu/%zu %-12s", index + 1, count, path.c_str());
  };
  std::vector<std::uint8_t> archive;
  if (!writer.build(options, &archive, &error)) {
    std::fprintf(stderr, "%svexo-pack: %s\n", live ? "\n" : "", error.c_str());
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  if (!out) {
    std::fprintf(stderr, "%svexo-pack: cannot write '%s'\n", live ? "\n" : "", argv[1]);
    return 1;
  }
  std::fprintf(stderr, "%svexo-pack: %d members, %zu bytes into %s\n", live ? "\r" : "", argc - 2, archive.size(), argv[1]);
  return 0;
}
