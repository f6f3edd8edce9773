// kestol pak: create, list, read, extract and describe pak archives.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fs/directory_fs.h"
#include "fs/pak_fs.h"
#include "fs/pak_writer.h"
#include "tools/kestol/commands.h"

namespace {

namespace stdfs = std::filesystem;

const char* const usage_text =
    "usage: kestol pak <subcommand> [arguments]\n"
    "\n"
    "  create ARCHIVE DIR [--encipher] [--compress auto|always|never]\n"
    "                     pack every file below DIR into ARCHIVE\n"
    "  list ARCHIVE [MASK]  list the entries (directories recursively)\n"
    "  cat ARCHIVE NAME     write a member's bytes to standard output\n"
    "  extract ARCHIVE [-C DIR] [NAME...]\n"
    "                     unpack members (all when no NAME is given) into DIR\n"
    "  info ARCHIVE         cipher, directory size, entry counts, sizes\n"
    "\n"
    "'kestol pak <subcommand> --help' describes a subcommand.\n";

bool wants_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  return false;
}

int fail(const char* format, const std::string& a, const std::string& b = "") {
  std::fprintf(stderr, "kestol pak: ");
  std::fprintf(stderr, format, a.c_str(), b.c_str());
  std::fprintf(stderr, "\n");
  return 1;
}

// Progress on standard error: one line rewritten in place on a terminal, else a line
// per step.
bool progress_open = false;

void progress(const char* what, const std::string& name, std::size_t index, std::size_t count) {
  bool terminal = ::isatty(2) != 0;
  std::fprintf(stderr, "%skestol pak: %s %zu/%zu %s", terminal ? "\r\033[K" : "", what, index + 1,
               count, name.c_str());
  progress_open = terminal && index + 1 < count;
  if (!progress_open) std::fputc('\n', stderr);
}

// A failure while a progress line may be open on standard error.
int fail_in_progress(const char* format, const std::string& a, const std::string& b = "") {
  if (progress_open) std::fputc('\n', stderr);
  progress_open = false;
  return fail(format, a, b);
}

// An archive opened for reading; the file system reads through the disk stream.
struct Archive {
  StreamPtr stream;
  std::unique_ptr<PakFileSystem> fs;
};

// Null after printing why the archive cannot be read.
std::unique_ptr<Archive> open_archive(const std::string& path) {
  auto archive = std::make_unique<Archive>();
  archive->stream.reset(FileStream::open_host(path.c_str(), mode_read, NameString(path), nullptr));
  if (!archive->stream) {
    fail("cannot open archive '%s': %s", path, std::strerror(errno));
    return nullptr;
  }
  archive->fs = std::make_unique<PakFileSystem>(archive->stream.get());
  if (!archive->fs->usable()) {
    fail("'%s' is not a pak archive (or is enciphered under another key, or truncated)", path);
    return nullptr;
  }
  return archive;
}

// ---- create ----------------------------------------------------------------------------

int create(int argc, char** argv) {
  if (wants_help(argc, argv)) {
    std::printf(
        "usage: kestol pak create ARCHIVE DIR [--encipher] [--compress auto|always|never]\n"
        "\n"
        "Packs every file below DIR into ARCHIVE; paths inside the archive are relative to\n"
        "DIR. --encipher enciphers the archive; --compress auto (the default) compresses a\n"
        "member with LZSS when that makes it smaller.\n");
    return 0;
  }
  std::vector<std::string> positional;
  PakWriterOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--encipher") {
      options.encipher = true;
    } else if (arg == "--compress" || arg.rfind("--compress=", 0) == 0) {
      std::string value;
      if (arg == "--compress") {
        if (i + 1 >= argc) return fail("--compress needs auto, always or never%s", "");
        value = argv[++i];
      } else {
        value = arg.substr(11);
      }
      if (value == "auto") options.compression = PakCompression::automatic;
      else if (value == "always") options.compression = PakCompression::always;
      else if (value == "never") options.compression = PakCompression::never;
      else return fail("unknown --compress value '%s' (auto, always or never)", value);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("create: unknown option '%s'", arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "usage: kestol pak create ARCHIVE DIR [--encipher] [--compress auto|always|never]\n");
    return 2;
  }
  const std::string& archive_path = positional[0];
  const std::string& dir = positional[1];
  std::error_code ec;
  if (!stdfs::is_directory(dir, ec)) return fail("create: '%s' is not a directory", dir);

  // Sorted so that the same directory always gives the same archive.
  std::vector<stdfs::path> entries;
  for (stdfs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  if (ec) return fail("create: cannot read directory '%s': %s", dir, ec.message());
  std::sort(entries.begin(), entries.end());

  PakWriter writer;
  std::string error;
  std::size_t files = 0;
  for (const stdfs::path& entry : entries) {
    std::string relative = stdfs::relative(entry, dir, ec).generic_string();
    if (ec) return fail("create: cannot name '%s': %s", entry.string(), ec.message());
    if (stdfs::is_directory(entry, ec)) {
      if (!writer.add_directory(relative, &error))
        return fail("create: '%s': %s", entry.string(), error);
      continue;
    }
    if (!stdfs::is_regular_file(entry, ec)) continue;
    std::ifstream in(entry, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    if (in.bad()) return fail("create: cannot read '%s'", entry.string());
    if (!writer.add_file(relative, std::move(data), &error))
      return fail("create: '%s': %s", entry.string(), error);
    ++files;
  }
  options.progress = [](const std::string& name, std::size_t index, std::size_t count) {
    progress("packing", name, index, count);
  };
  std::vector<std::uint8_t> archive;
  if (!writer.build(options, &archive, &error)) return fail("create: '%s': %s", archive_path, error);

  std::string temporary = archive_path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
    out.close();
    if (!out) return fail("create: cannot write '%s'", temporary);
  }
  stdfs::rename(temporary, archive_path, ec);
  if (ec) return fail("create: cannot write '%s': %s", archive_path, ec.message());
  std::fprintf(stderr, "kestol pak: wrote '%s': %zu files, %zu bytes%s\n", archive_path.c_str(),
               files, archive.size(), options.encipher ? ", enciphered" : "");
  return 0;
}

// ---- list ------------------------------------------------------------------------------

void print_entry(const std::string& path, const PakEntryView& entry) {
  if (entry.is_directory())
    std::printf("%12s  %s/\n", "<dir>", path.c_str());
  else
    std::printf("%12" PRIu32 "  %s%s\n", entry.size(), path.c_str(), entry.packing() ? "  (lzss)" : "");
}

int list(int argc, char** argv) {
  if (wants_help(argc, argv) || argc < 2 || argc > 3) {
    std::FILE* out = wants_help(argc, argv) ? stdout : stderr;
    std::fprintf(out,
                 "usage: kestol pak list ARCHIVE [MASK]\n"
                 "\n"
                 "One line per entry: its size (or <dir>) and its path. MASK (default \"*\")\n"
                 "may name a directory first, as in \"music/*.xm\"; matching directories are\n"
                 "listed with everything below them.\n");
    return out == stdout ? 0 : 2;
  }
  auto archive = open_archive(argv[1]);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  if (argc == 2) {
    fs.for_each_entry(fs.root_table(), "", print_entry);
    return 0;
  }
  FileFinder* found = fs.find_first(NameString(argv[2]));
  if (found == nullptr) return fail("'%s': nothing matches '%s'", argv[1], argv[2]);
  auto* finder = static_cast<PakFinder*>(found);
  do {
    PakEntryView entry = fs.table_entry(finder->table, finder->index);
    std::string path(finder->name().view());
    print_entry(path, entry);
    if (entry.is_directory()) fs.for_each_entry(entry.offset(), path + "/", print_entry);
  } while (fs.find_next(finder));
  fs.find_close(finder);
  return 0;
}

// ---- cat -------------------------------------------------------------------------------

// Copies a member to an output; false on a short read.
bool copy_member(Stream* member, std::FILE* out) {
  std::vector<std::uint8_t> buffer(1 << 16);
  std::uint64_t left = member->size();
  while (left > 0) {
    std::uint32_t ask = left < buffer.size() ? static_cast<std::uint32_t>(left) : static_cast<std::uint32_t>(buffer.size());
    std::uint32_t got = member->read(buffer.data(), ask);
    if (got == 0) return false;
    if (std::fwrite(buffer.data(), 1, got, out) != got) return false;
    left -= got;
  }
  return true;
}

int cat(int argc, char** argv) {
  if (wants_help(argc, argv) || argc != 3) {
    std::FILE* out = wants_help(argc, argv) ? stdout : stderr;
    std::fprintf(out, "usage: kestol pak cat ARCHIVE NAME\n\nWrites the member NAME to standard output.\n");
    return out == stdout ? 0 : 2;
  }
  auto archive = open_archive(argv[1]);
  if (!archive) return 1;
  StreamPtr member(archive->fs->open(NameString(argv[2]), mode_read));
  if (!member) return fail("'%s': no such member '%s'", argv[1], argv[2]);
  if (!copy_member(member.get(), stdout) || std::fflush(stdout) != 0)
    return fail("'%s': member '%s' is damaged (its data end early)", argv[1], argv[2]);
  return 0;
}

// ---- extract ---------------------------------------------------------------------------

// True when no directory on the way from the root to `path` is a symbolic link, so a
// link planted in the target cannot lead a member outside it.
bool stays_inside(const std::string& root, const std::string& path) {
  std::string at = root;
  std::size_t start = 0;
  // std::filesystem rather than lstat: the Windows build has no lstat.
  auto is_link = [](const std::string& p) {
    std::error_code ec;
    return stdfs::is_symlink(stdfs::symlink_status(p, ec));
  };
  for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
    at += path.substr(start, slash - start);
    if (is_link(at)) return false;
    at += '/';
  }
  return !is_link(root + path);
}

int extract(int argc, char** argv) {
  if (wants_help(argc, argv) || argc < 2) {
    std::FILE* out = wants_help(argc, argv) ? stdout : stderr;
    std::fprintf(out,
                 "usage: kestol pak extract ARCHIVE [-C DIR] [NAME...]\n"
                 "\n"
                 "Unpacks the named members or directories (all when none is named) into DIR\n"
                 "(default: the current directory). Nothing is written outside DIR.\n");
    return out == stdout ? 0 : 2;
  }
  std::string target;
  std::vector<std::string> names;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-C") == 0) {
      if (i + 1 >= argc) return fail("extract: -C needs a directory%s", "");
      target = argv[++i];
    } else {
      names.push_back(argv[i]);
    }
  }
  auto archive = open_archive(argv[1]);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  if (!target.empty()) {
    std::error_code ec;
    stdfs::create_directories(target, ec);
    if (ec) return fail("extract: cannot make directory '%s': %s", target, ec.message());
  }
  DirectoryFileSystem out_fs{NameString(target)};
  std::string root(out_fs.root().view());

  // The members to write, by their paths in the archive.
  std::vector<std::string> members, entries;  // files; directories (made even when empty)
  auto collect = [&](const std::string& path, const PakEntryView& entry) {
    (entry.is_directory() ? entries : members).push_back(path);
  };
  if (names.empty()) fs.for_each_entry(fs.root_table(), "", collect);
  for (std::string name : names) {
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (fs.is_file(NameString(name))) {
      members.push_back(name);
      continue;
    }
    std::uint32_t table;
    bool directory = fs.find_directory(name, &table);
    if (directory) {
      entries.push_back(name);
      fs.for_each_entry(table, name + "/", collect);
    }
    if (!directory) return fail("'%s': no such member '%s'", argv[1], name);
  }

  int status = 0;
  for (const std::string& name : entries) {
    std::error_code ec;
    if (!validate_path(NameString(name), false) || !stays_inside(root, name + "/"))
      status = fail("'%s': refusing to make directory '%s' outside the target", argv[1], name);
    else if (stdfs::create_directories(root + name, ec); ec)
      status = fail("cannot make directory '%s': %s", root + name, ec.message());
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::string& name = members[i];
    progress("extracting", name, i, members.size());
    StreamPtr member(fs.open(NameString(name), mode_read));
    if (!member) {
      status = fail_in_progress("'%s': member '%s' cannot be read", argv[1], name);
      continue;
    }
    if (!validate_path(NameString(name), false) || !stays_inside(root, name)) {
      status = fail_in_progress("'%s': refusing to write member '%s' outside the target", argv[1], name);
      continue;
    }
    StreamPtr file(out_fs.open(NameString(name), mode_write));
    if (!file || !file->set_size(0)) {
      status = fail_in_progress("cannot write '%s%s'", root, name);
      continue;
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    std::uint64_t left = member->size();
    while (left > 0) {
      std::uint32_t ask = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, buffer.size()));
      std::uint32_t got = member->read(buffer.data(), ask);
      if (got == 0 || file->write(buffer.data(), got) != got) break;
      left -= got;
    }
    if (left != 0) status = fail_in_progress("'%s': member '%s' is damaged or could not be written", argv[1], name);
  }
  return status;
}

// ---- info ------------------------------------------------------------------------------

int info(int argc, char** argv) {
  if (wants_help(argc, argv) || argc != 2) {
    std::FILE* out = wants_help(argc, argv) ? stdout : stderr;
    std::fprintf(out,
                 "usage: kestol pak info ARCHIVE\n"
                 "\n"
                 "Shows whether the archive is enciphered, its directory size, the numbers of\n"
                 "files, directories and compressed members, and stored and unpacked sizes.\n");
    return out == stdout ? 0 : 2;
  }
  auto archive = open_archive(argv[1]);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  std::uint64_t files = 0, directories = 0, compressed = 0, unpacked = 0, stored = 0, damaged = 0;
  std::vector<std::uint8_t> buffer(1 << 16);
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& path, const PakEntryView& entry) {
    if (entry.is_directory()) {
      ++directories;
      return;
    }
    ++files;
    unpacked += entry.size();
    if (entry.packing() == 0) {
      stored += entry.size();
      return;
    }
    ++compressed;
    // The directory does not hold the compressed size: decode the member to count it.
    StreamPtr member(fs.open(NameString(path), mode_read));
    auto* pak_member = dynamic_cast<PakMemberStream*>(member.get());
    if (pak_member == nullptr) {
      ++damaged;
      return;
    }
    std::uint64_t left = entry.size();
    while (left > 0) {
      std::uint32_t got = member->read(buffer.data(), static_cast<std::uint32_t>(std::min<std::uint64_t>(left, buffer.size())));
      if (got == 0) break;
      left -= got;
    }
    if (left != 0) ++damaged;
    stored += pak_member->stored_bytes_read();
  });
  std::printf("archive:          %s\n", argv[1]);
  std::printf("enciphered:       %s\n", fs.enciphered() ? "yes" : "no");
  std::printf("directory size:   %" PRIu32 " bytes\n", fs.directory_size());
  std::printf("archive size:     %" PRIu64 " bytes\n", archive->stream->size());
  std::printf("files:            %" PRIu64 " (%" PRIu64 " compressed)\n", files, compressed);
  std::printf("directories:      %" PRIu64 "\n", directories);
  std::printf("stored size:      %" PRIu64 " bytes\n", stored);
  std::printf("unpacked size:    %" PRIu64 " bytes\n", unpacked);
  if (damaged != 0) {
    std::printf("damaged members:  %" PRIu64 "\n", damaged);
    return 1;
  }
  return 0;
}

}  // namespace

int pak_command(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  std::string sub = argv[1];
  if (sub == "--help" || sub == "-h") {
    std::fputs(usage_text, stdout);
    return 0;
  }
  if (sub == "create") return create(argc - 1, argv + 1);
  if (sub == "list") return list(argc - 1, argv + 1);
  if (sub == "cat") return cat(argc - 1, argv + 1);
  if (sub == "extract") return extract(argc - 1, argv + 1);
  if (sub == "info") return info(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol pak: unknown subcommand '%s'\n", sub.c_str());
  std::fputs(usage_text, stderr);
  return 2;
}
