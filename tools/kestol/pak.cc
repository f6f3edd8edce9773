// kestol pak: create, list, read, extract and describe pak archives.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fs/directory_fs.h"
#include "fs/pak_fs.h"
#include "authoring/pak_writer.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/commands.h"
#include "tools/kestol/pak_checks.h"
#include "tools/kestol/pak_input.h"
#include "tools/kestol/replacing_file.h"

namespace {

namespace stdfs = std::filesystem;

const CommandInfo pak_group{
    "kestol pak",
    "usage: kestol pak <subcommand> [arguments]\n"
    "\n"
    "  create ARCHIVE DIR   pack every file below DIR into ARCHIVE\n"
    "  list ARCHIVE [MASK]  list the entries (directories recursively)\n"
    "  cat ARCHIVE NAME     write a member's bytes to standard output\n"
    "  extract ARCHIVE [-C DIR] [NAME...]\n"
    "                       unpack members (all when no NAME is given) into DIR\n"
    "  info ARCHIVE         cipher, directory size, entry counts, sizes\n"
    "\n"
    "'kestol pak <subcommand> --help' describes a subcommand.\n"};

const CommandInfo create_command{
    "kestol pak create",
    "usage: kestol pak create [--encipher] [--compress auto|always|never] [--verbose|--quiet]\n"
    "                         ARCHIVE DIR\n"
    "\n"
    "Packs every file below DIR into ARCHIVE; paths inside the archive are relative to\n"
    "DIR. Symbolic links are followed to files and directories inside DIR and stored under\n"
    "the link's own name. ARCHIVE is written to a new file beside it and renamed into\n"
    "place only when complete, so a failure leaves an existing ARCHIVE as it was.\n"
    "\n"
    "  --encipher        encipher the archive\n"
    "  --compress MODE   auto (the default) compresses a member with LZSS when that makes\n"
    "                    it smaller; always; never\n"
    "  -v, --verbose     print each member's path as it is packed\n"
    "  -q, --quiet       print nothing but errors\n"};

const CommandInfo list_command{
    "kestol pak list",
    "usage: kestol pak list ARCHIVE [MASK]\n"
    "\n"
    "One line per entry: its size (or <dir>) and its path. MASK (default \"*\") may name\n"
    "a directory first, as in \"music/*.xm\"; letter case does not matter. Matching\n"
    "directories are listed with everything below them. Control characters in names are\n"
    "shown escaped, as \"ls -b\" does.\n"};

const CommandInfo cat_command{
    "kestol pak cat",
    "usage: kestol pak cat ARCHIVE NAME\n\nWrites the member NAME to standard output.\n"};

const CommandInfo extract_command{
    "kestol pak extract",
    "usage: kestol pak extract [-C DIR] [--verbose|--quiet] ARCHIVE [NAME...]\n"
    "\n"
    "Unpacks the named members or directories (all when none is named) into DIR\n"
    "(default: the current directory). Nothing is written outside DIR; each file is\n"
    "written under a new name and renamed into place, so an existing file is replaced,\n"
    "never written into. Archives whose members share data, whose directory is damaged,\n"
    "or whose names hold control characters are refused.\n"
    "\n"
    "  -C DIR         unpack into DIR (made when missing)\n"
    "  -v, --verbose  print each member's path as it is written\n"
    "  -q, --quiet    print nothing but errors\n"};

const CommandInfo info_command{
    "kestol pak info",
    "usage: kestol pak info ARCHIVE\n"
    "\n"
    "Shows whether the archive is enciphered, its directory size, the numbers of\n"
    "files, directories and compressed members, and stored and unpacked sizes.\n"};

int fail(const std::string& message) {
  std::fprintf(stderr, "kestol pak: %s\n", message.c_str());
  return 1;
}

std::string in_quotes(const std::string& name) { return "'" + escape_name(name) + "'"; }

// What create and extract say while they work: one line per file with --verbose (on
// standard output, as tar does), one progress line rewritten in place on a terminal,
// nothing with --quiet.
class Progress {
 public:
  Progress(bool verbose, bool quiet)
      : verbose_(verbose), quiet_(quiet), terminal_(!verbose && !quiet && ::isatty(2) != 0) {}
  ~Progress() { end(); }

  // One line per file, with --verbose.
  void file(const std::string& name) {
    if (verbose_) std::printf("%s\n", escape_name(name).c_str());
  }
  // The progress line on a terminal.
  void step(const char* what, const std::string& name, std::size_t index, std::size_t count) {
    if (terminal_) {
      std::fprintf(stderr, "\r\033[Kkestol pak: %s %zu/%zu %s", what, index + 1, count,
                   escape_name(name).substr(0, 60).c_str());
      open_ = true;
    }
  }
  // Ends the progress line, so what follows starts on a line of its own.
  void end() {
    if (open_) std::fputs("\r\033[K", stderr);
    open_ = false;
  }
  bool quiet() const { return quiet_; }

 private:
  bool verbose_, quiet_, terminal_;
  bool open_ = false;
};

// An archive opened for reading; the file system reads through the disk stream.
struct Archive {
  StreamPtr stream;
  std::unique_ptr<PakFileSystem> fs;
};

// Null after printing why the archive cannot be read. With `strict`, a damaged directory
// is refused too.
std::unique_ptr<Archive> open_archive(const std::string& path, bool strict) {
  auto archive = std::make_unique<Archive>();
  std::error_code ec;
  if (stdfs::is_directory(path, ec)) {
    fail("cannot open archive " + in_quotes(path) + ": " + std::strerror(EISDIR));
    return nullptr;
  }
  errno = 0;
  archive->stream.reset(FileStream::open_host(path.c_str(), mode_read, NameString(path), nullptr));
  if (!archive->stream) {
    fail("cannot open archive " + in_quotes(path) + ": " + std::strerror(errno != 0 ? errno : EIO));
    return nullptr;
  }
  archive->fs = std::make_unique<PakFileSystem>(archive->stream.get());
  if (!archive->fs->usable()) {
    fail(in_quotes(path) + " is not a pak archive (or is enciphered under another key, or truncated)");
    return nullptr;
  }
  if (strict) {
    std::string damage = archive->fs->directory_damage();
    if (!damage.empty()) {
      fail(in_quotes(path) + ": damaged directory: " + escape_name(damage));
      return nullptr;
    }
  }
  return archive;
}

// ---- create ----------------------------------------------------------------------------

int create(int argc, char** argv) {
  bool encipher = false, verbose = false, quiet = false;
  const char* compress = nullptr;
  std::vector<const char*> operands;
  int rc = parse_options(create_command, argc, argv,
                         {flag_option("--encipher", &encipher),
                          value_option("--compress", &compress),
                          flag_option("--verbose", &verbose, "-v"),
                          flag_option("--quiet", &quiet, "-q")},
                         &operands);
  if (rc != parse_continue) return rc;
  PakWriterOptions options;
  options.encipher = encipher;
  if (compress != nullptr) {
    std::string value = compress;
    if (value == "auto") options.compression = PakCompression::automatic;
    else if (value == "always") options.compression = PakCompression::always;
    else if (value == "never") options.compression = PakCompression::never;
    else return usage_error(create_command, "--compress wants auto, always or never, not " + in_quotes(value));
  }
  if (operands.size() != 2) return usage_error(create_command, "wants ARCHIVE and DIR");
  const std::string archive_path = operands[0];
  const std::string dir = operands[1];
  std::error_code ec;
  if (!stdfs::is_directory(dir, ec))
    return fail("create: " + in_quotes(dir) + ": " +
                std::strerror(stdfs::exists(dir, ec) ? ENOTDIR : ENOENT));

  // The output's folder is checked (by making the new file there) before packing.
  ReplacingFile out;
  std::string error;
  if (!out.open(archive_path, &error)) return fail("create: " + escape_name(error));

  PakWriter writer;
  PakInput input(dir);
  input.leave_out(archive_path);
  input.leave_out(out.temporary_path());
  Progress progress(verbose, quiet);
  input.on_left_out = [&](const std::string& path) {
    progress.end();
    if (!quiet) std::fprintf(stderr, "kestol pak: leaving out %s: it is the archive being written\n", in_quotes(path).c_str());
  };
  input.on_added = [&](const std::string& inside) { progress.file(inside); };
  input.on_skipped = [&](const std::string& path, const std::string& why) {
    progress.end();
    if (!quiet) std::fprintf(stderr, "kestol pak: leaving out %s: %s\n", in_quotes(path).c_str(), why.c_str());
  };
  if (!input.collect(&writer, &error)) {
    progress.end();
    return fail("create: " + escape_name(error));
  }
  options.progress = [&](const std::string& name, std::size_t index, std::size_t count) {
    progress.step("packing", name, index, count);
  };
  std::vector<std::uint8_t> archive;
  bool built = writer.build(options, &archive, &error);
  progress.end();
  if (!built) return fail("create: " + in_quotes(archive_path) + ": " + error);
  if (verbose && !stdout_ok("kestol pak")) return 1;
  if (!out.write(archive.data(), archive.size(), &error) || !out.commit(&error))
    return fail("create: " + escape_name(error));
  if (!quiet)
    std::fprintf(stderr, "kestol pak: wrote %s: %zu files, %zu bytes%s\n", in_quotes(archive_path).c_str(),
                 input.files(), archive.size(), options.encipher ? ", enciphered" : "");
  return 0;
}

// ---- list ------------------------------------------------------------------------------

void print_entry(const std::string& path, const PakEntryView& entry) {
  if (entry.is_directory())
    std::printf("%12s  %s/\n", "<dir>", escape_name(path).c_str());
  else
    std::printf("%12" PRIu32 "  %s%s\n", entry.size(), escape_name(path).c_str(),
                entry.packing() ? "  (lzss)" : "");
}

// ASCII letters folded to small ones, as the archive's own name order folds them.
std::string folded(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

int list(int argc, char** argv) {
  std::vector<const char*> operands;
  int rc = parse_options(list_command, argc, argv, {}, &operands);
  if (rc != parse_continue) return rc;
  if (operands.empty() || operands.size() > 2) return usage_error(list_command, "wants ARCHIVE and at most one MASK");
  const std::string path = operands[0];
  auto archive = open_archive(path, true);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  if (operands.size() == 1) {
    fs.for_each_entry(fs.root_table(), "", print_entry);
    return stdout_ok("kestol pak") ? 0 : 1;
  }
  // The mask's directory part is looked up (case-insensitively, as every lookup is); its
  // last component is matched against names folded the same way.
  std::string mask = operands[1];
  if (!validate_path(NameString(mask), true))
    return fail(in_quotes(path) + ": " + in_quotes(mask) + " is not a valid mask");
  std::string_view pattern = mask;
  if (pattern[0] == '/') pattern.remove_prefix(1);
  std::size_t slash = pattern.rfind('/');
  std::string directory(slash == pattern.npos ? "" : pattern.substr(0, slash));
  std::string prefix(slash == pattern.npos ? "" : pattern.substr(0, slash + 1));
  std::string own_mask = folded(slash == pattern.npos ? pattern : pattern.substr(slash + 1));
  std::uint32_t table;
  bool any = false;
  if (fs.find_directory(directory, &table)) {
    for (std::uint32_t i = 0, n = fs.table_count(table); i < n; ++i) {
      PakEntryView entry = fs.table_entry(table, i);
      if (!entry.valid_name() || !pattern_match(folded(entry.name()).c_str(), own_mask.c_str()))
        continue;
      any = true;
      std::string_view own = entry.name();
      if (entry.is_directory()) own.remove_prefix(1);
      std::string entry_path = prefix + std::string(own);
      print_entry(entry_path, entry);
      if (entry.is_directory()) fs.for_each_entry(entry.offset(), entry_path + "/", print_entry);
    }
  }
  if (!stdout_ok("kestol pak")) return 1;
  if (!any) return fail(in_quotes(path) + ": nothing matches " + in_quotes(mask));
  return 0;
}

// ---- cat -------------------------------------------------------------------------------

int cat(int argc, char** argv) {
  std::vector<const char*> operands;
  int rc = parse_options(cat_command, argc, argv, {}, &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 2) return usage_error(cat_command, "wants ARCHIVE and NAME");
  const std::string path = operands[0], name = operands[1];
  auto archive = open_archive(path, false);
  if (!archive) return 1;
  StreamPtr member(archive->fs->open(NameString(name), mode_read));
  if (!member) return fail(in_quotes(path) + ": no such member " + in_quotes(name));
  std::vector<std::uint8_t> buffer(1 << 16);
  std::uint64_t left = member->size();
  while (left > 0) {
    auto ask = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, buffer.size()));
    std::uint32_t got = member->read(buffer.data(), ask);
    if (got == 0) return fail(in_quotes(path) + ": member " + in_quotes(name) + " is damaged (its data end early)");
    if (std::fwrite(buffer.data(), 1, got, stdout) != got) break;
    left -= got;
  }
  return stdout_ok("kestol pak") ? 0 : 1;
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
  const char* target_option = nullptr;
  bool verbose = false, quiet = false;
  std::vector<const char*> operands;
  int rc = parse_options(extract_command, argc, argv,
                         {value_option("-C", &target_option, "--directory"),
                          flag_option("--verbose", &verbose, "-v"),
                          flag_option("--quiet", &quiet, "-q")},
                         &operands);
  if (rc != parse_continue) return rc;
  if (operands.empty()) return usage_error(extract_command, "wants ARCHIVE");
  const std::string archive_path = operands[0];
  std::vector<std::string> names(operands.begin() + 1, operands.end());
  std::string target = target_option != nullptr ? target_option : "";
  auto archive = open_archive(archive_path, true);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  std::string overlap = overlapping_members(fs);
  if (!overlap.empty())
    return fail(in_quotes(archive_path) + ": refusing to extract: members " + overlap + " share data");
  if (!target.empty()) {
    std::error_code ec;
    stdfs::create_directories(target, ec);
    if (ec) return fail("extract: cannot make directory " + in_quotes(target) + ": " + ec.message());
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
    if (!fs.find_directory(name, &table))
      return fail(in_quotes(archive_path) + ": no such member " + in_quotes(name));
    entries.push_back(name);
    fs.for_each_entry(table, name + "/", collect);
  }

  // A name is written only when it is a plain relative path without control characters
  // and no link on its way leads out of the target.
  auto refused = [&](const std::string& name, const std::string& checked) -> bool {
    if (has_control_characters(name)) {
      fail(in_quotes(archive_path) + ": refusing member " + in_quotes(name) +
           ": its name holds control characters");
      return true;
    }
    if (!validate_path(NameString(name), false) || !stays_inside(root, checked)) {
      fail(in_quotes(archive_path) + ": refusing to write " + in_quotes(name) + " outside the target");
      return true;
    }
    return false;
  };

  int status = 0;
  for (const std::string& name : entries) {
    if (refused(name, name + "/")) {
      status = 1;
      continue;
    }
    std::error_code ec;
    stdfs::create_directories(root + name, ec);
    if (ec) status = fail("cannot make directory " + in_quotes(root + name) + ": " + ec.message());
  }
  Progress progress(verbose, quiet);
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::string& name = members[i];
    progress.step("extracting", name, i, members.size());
    progress.file(name);
    if (refused(name, name)) {
      progress.end();
      status = 1;
      continue;
    }
    StreamPtr member(fs.open(NameString(name), mode_read));
    if (!member) {
      progress.end();
      status = fail(in_quotes(archive_path) + ": member " + in_quotes(name) + " cannot be read");
      continue;
    }
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
      std::error_code ec;
      stdfs::create_directories(root + name.substr(0, slash), ec);
      if (ec) {
        progress.end();
        return fail("cannot make directory " + in_quotes(root + name.substr(0, slash)) + ": " + ec.message());
      }
    }
    // A new file renamed over the old one: a hard link in the target keeps its bytes.
    ReplacingFile file;
    std::string error;
    bool write_failed = false;
    bool complete = file.open(root + name, &error) &&
                    read_member(member.get(), [&](const std::uint8_t* data, std::uint32_t n) {
                      write_failed = !file.write(data, n, &error);
                      return !write_failed;
                    });
    if (!complete && error.empty()) {
      progress.end();
      status = fail(in_quotes(archive_path) + ": member " + in_quotes(name) + " is damaged (its data end early)");
      continue;
    }
    if (complete && !file.commit(&error)) write_failed = true;
    if (!error.empty() || write_failed) {
      // The first write error ends the run: a full disk would fail every file after it.
      progress.end();
      return fail("extract: " + escape_name(error));
    }
  }
  progress.end();
  if (verbose && !stdout_ok("kestol pak")) return 1;
  return status;
}

// ---- info ------------------------------------------------------------------------------

int info(int argc, char** argv) {
  std::vector<const char*> operands;
  int rc = parse_options(info_command, argc, argv, {}, &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 1) return usage_error(info_command, "wants one ARCHIVE");
  const std::string path = operands[0];
  auto archive = open_archive(path, true);
  if (!archive) return 1;
  PakFileSystem& fs = *archive->fs;
  std::uint64_t files = 0, directories = 0, compressed = 0, unpacked = 0, stored = 0, damaged = 0;
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& entry_path, const PakEntryView& entry) {
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
    StreamPtr member(fs.open(NameString(entry_path), mode_read));
    auto* pak_member = dynamic_cast<PakMemberStream*>(member.get());
    if (pak_member == nullptr) {
      ++damaged;
      return;
    }
    if (!read_member(pak_member, [](const std::uint8_t*, std::uint32_t) { return true; })) ++damaged;
    stored += pak_member->stored_bytes_read();
  });
  std::printf("archive:          %s\n", escape_name(path).c_str());
  std::printf("enciphered:       %s\n", fs.enciphered() ? "yes" : "no");
  std::printf("directory size:   %" PRIu32 " bytes\n", fs.directory_size());
  std::printf("archive size:     %" PRIu64 " bytes\n", archive->stream->size());
  std::printf("files:            %" PRIu64 " (%" PRIu64 " compressed)\n", files, compressed);
  std::printf("directories:      %" PRIu64 "\n", directories);
  std::printf("stored size:      %" PRIu64 " bytes\n", stored);
  std::printf("unpacked size:    %" PRIu64 " bytes\n", unpacked);
  if (damaged != 0) std::printf("damaged members:  %" PRIu64 "\n", damaged);
  if (!stdout_ok("kestol pak")) return 1;
  return damaged != 0 ? 1 : 0;
}

}  // namespace

int pak_command(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(pak_group.usage, stderr);
    return 2;
  }
  std::string sub = argv[1];
  if (sub == "--help" || sub == "-h") {
    std::fputs(pak_group.usage, stdout);
    return 0;
  }
  if (sub == "create") return create(argc - 1, argv + 1);
  if (sub == "list") return list(argc - 1, argv + 1);
  if (sub == "cat") return cat(argc - 1, argv + 1);
  if (sub == "extract") return extract(argc - 1, argv + 1);
  if (sub == "info") return info(argc - 1, argv + 1);
  return usage_error(pak_group, "unknown subcommand " + in_quotes(sub));
}
