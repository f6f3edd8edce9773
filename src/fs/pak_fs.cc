// PakFileSystem: the header block, lookups, finders. Nothing in the archive is trusted:
// a table, an offset or a name that reaches outside the header block finds nothing.
#include "fs/pak_fs.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "fs/pak_format.h"

// ---- PakEntryView --------------------------------------------------------------------

std::string_view PakEntryView::name() const {
  const char* text = reinterpret_cast<const char*>(raw + pak_entry_name);
  const void* nul = std::memchr(text, '\0', pak_name_size);
  std::size_t n = nul != nullptr ? static_cast<const char*>(nul) - text : pak_name_size;
  return {text, n};
}

bool PakEntryView::valid_name() const {
  return std::memchr(raw + pak_entry_name, '\0', pak_name_size) != nullptr;
}

std::uint32_t PakEntryView::size() const { return get_le32(raw + pak_entry_size_field); }
std::uint32_t PakEntryView::packing() const { return get_le32(raw + pak_entry_packing); }
std::uint32_t PakEntryView::offset() const { return get_le32(raw + pak_entry_offset); }

// ---- PakFileSystem -------------------------------------------------------------------

PakFileSystem::PakFileSystem(Stream* archive, bool owns_stream)
    : archive_(archive), owns_stream_(owns_stream) {
  if (archive_ == nullptr) return;
  block_.resize(pak_header_size);
  if (archive_->read(block_.data(), pak_header_size) != pak_header_size) return;
  CipherState cipher;
  if (std::memcmp(block_.data(), pak_magic, sizeof pak_magic) != 0) {
    cipher_init(&cipher);
    cipher_decode(block_.data(), block_.data(), pak_header_size, &cipher);
    enciphered_ = true;
    if (std::memcmp(block_.data(), pak_magic, sizeof pak_magic) != 0) return;
  }
  directory_size_ = get_le32(block_.data() + pak_directory_size_offset);
  if (directory_size_ > pak_header_size) {
    // Never allocate more than the archive can hold: a directory size beyond the file
    // leaves the tables that did not arrive missing.
    std::uint64_t want = directory_size_ - pak_header_size;
    std::uint64_t total = archive_->size();
    std::uint64_t here = archive_->tell();
    std::uint64_t left = total != size_unknown && here != size_unknown && total >= here
                             ? total - here : 0;
    if (want > left) want = left;
    block_.resize(pak_header_size + want);
    std::uint32_t got = archive_->read(block_.data() + pak_header_size,
                                       static_cast<std::uint32_t>(want));
    block_.resize(pak_header_size + got);
    // What arrived continues the header's cipher run.
    if (enciphered_) cipher_decode(block_.data() + pak_header_size,
                                   block_.data() + pak_header_size, got, &cipher);
  }
  usable_ = true;
}

PakFileSystem::~PakFileSystem() {
  if (owns_stream_ && archive_ != nullptr) archive_->close();
}

std::uint32_t PakFileSystem::table_count(std::uint32_t offset) const {
  if (!usable_) return 0;
  std::uint64_t end = block_.size();
  if (static_cast<std::uint64_t>(offset) + 4 > end) return 0;
  std::uint32_t count = get_le32(block_.data() + offset);
  if (static_cast<std::uint64_t>(offset) + 4 + std::uint64_t{count} * pak_entry_size > end)
    return 0;
  return count;
}

PakEntryView PakFileSystem::table_entry(std::uint32_t offset, std::uint32_t index) const {
  return {block_.data() + offset + 4 + std::size_t{index} * pak_entry_size};
}

std::int64_t PakFileSystem::search(std::uint32_t table, std::string_view key) const {
  std::uint32_t count = table_count(table);
  if (count == 0) return -1;
  std::uint32_t lo = 0, hi = count;
  while (hi != lo + 1) {
    std::uint32_t mid = lo + (hi - lo) / 2;
    if (pak_sorts_before(key, table_entry(table, mid).name()))
      hi = mid;
    else
      lo = mid;
  }
  PakEntryView entry = table_entry(table, lo);
  if (!entry.valid_name() || pak_name_compare(entry.name(), key) != 0) return -1;
  return lo;
}

bool PakFileSystem::walk(std::string_view path, std::uint32_t* table,
                         std::string_view* rest) const {
  std::uint32_t at = root_table();
  std::string key;
  for (std::size_t slash; (slash = path.find('/')) != path.npos;) {
    key.clear();
    key.push_back('/');
    key.append(path.data(), slash);
    std::int64_t index = search(at, key);
    if (index < 0) return false;
    at = table_entry(at, static_cast<std::uint32_t>(index)).offset();
    path.remove_prefix(slash + 1);
  }
  *table = at;
  *rest = path;
  return true;
}

const std::uint8_t* PakFileSystem::pak_lookup(std::string_view path) const {
  if (!usable_) return nullptr;
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  std::uint32_t table;
  std::string_view rest;
  if (!walk(path, &table, &rest)) return nullptr;
  std::int64_t index = search(table, rest);
  if (index < 0) return nullptr;
  return table_entry(table, static_cast<std::uint32_t>(index)).raw;
}

void PakFileSystem::for_each_entry(
    std::uint32_t table, const std::string& prefix,
    const std::function<void(const std::string&, const PakEntryView&)>& visit) const {
  // An explicit stack: a crafted archive may nest tables deeper than the call stack goes.
  struct Level {
    std::uint32_t table;
    std::uint32_t index;
    std::string prefix;
  };
  std::set<std::uint32_t> seen{table};
  std::vector<Level> stack{{table, 0, prefix}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.index >= table_count(level.table)) {
      stack.pop_back();
      continue;
    }
    PakEntryView entry = table_entry(level.table, level.index++);
    if (!entry.valid_name()) continue;
    std::string_view own = entry.name();
    if (entry.is_directory()) own.remove_prefix(1);
    if (level.prefix.size() + own.size() > pak_max_path) continue;
    std::string path = level.prefix + std::string(own);
    visit(path, entry);
    if (entry.is_directory() && stack.size() <= pak_max_depth &&
        seen.insert(entry.offset()).second)
      stack.push_back({entry.offset(), 0, path + "/"});  // `level` is not used after this
  }
}

namespace {

std::string table_place(const std::string& prefix) {
  if (prefix.empty()) return "the root directory";
  std::string name = prefix.substr(0, prefix.size() - 1);
  if (name.size() > 100) name = name.substr(0, 100) + "...";
  return "directory '" + name + "'";
}

}  // namespace

std::string PakFileSystem::directory_damage() const {
  if (!usable_) return "not a pak archive";
  struct Level {
    std::uint32_t table;
    std::uint32_t index;
    std::string prefix;
  };
  // Checks one table as a whole before its entries are walked.
  auto check_table = [this](std::uint32_t table, const std::string& prefix) -> std::string {
    std::string place = table_place(prefix);
    if (std::uint64_t{table} + 4 > block_.size())
      return "the table of " + place + " lies outside the directory block";
    std::uint32_t count = get_le32(block_.data() + table);
    if (table_count(table) != count)
      return "the table of " + place + " counts " + std::to_string(count) +
             " entries, more than the directory block holds";
    std::vector<std::string_view> names;
    names.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      PakEntryView entry = table_entry(table, i);
      if (!entry.valid_name()) return "an entry name in " + place + " lacks its NUL";
      std::string_view name = entry.name();
      std::string_view own = entry.is_directory() ? name.substr(1) : name;
      if (own.empty()) return place + " holds an entry without a name";
      if (own.find('/') != own.npos)
        return place + " holds the name '" + std::string(own) + "' with a '/' inside";
      if (prefix.size() + own.size() > pak_max_path)
        return "a path in " + place.substr(0, 80) + " is longer than " +
               std::to_string(pak_max_path) + " bytes";
      names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](std::string_view a, std::string_view b) {
      return pak_name_compare(a, b) < 0;
    });
    for (std::size_t i = 1; i < names.size(); ++i)
      if (pak_name_compare(names[i - 1], names[i]) == 0)
        return place + " holds two names equal apart from case: '" + std::string(names[i - 1]) +
               "' and '" + std::string(names[i]) + "'";
    return "";
  };
  std::string why = check_table(root_table(), "");
  if (!why.empty()) return why;
  std::set<std::uint32_t> seen{root_table()};
  std::vector<Level> stack{{root_table(), 0, ""}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.index >= table_count(level.table)) {
      stack.pop_back();
      continue;
    }
    PakEntryView entry = table_entry(level.table, level.index++);
    if (!entry.is_directory()) continue;
    std::string path = level.prefix + std::string(entry.name().substr(1));
    if (stack.size() > pak_max_depth)
      return "directories nest deeper than " + std::to_string(pak_max_depth) + " levels at '" +
             path.substr(0, 64) + "...'";
    if (!seen.insert(entry.offset()).second)
      return "directory '" + path + "' reuses a table listed elsewhere (a loop or a shared table)";
    why = check_table(entry.offset(), path + "/");
    if (!why.empty()) return why;
    stack.push_back({entry.offset(), 0, path + "/"});  // `level` is not used after this
  }
  return "";
}

bool PakFileSystem::find_directory(std::string_view path, std::uint32_t* table) const {
  if (!usable_) return false;
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  if (path.empty()) {
    *table = root_table();
    return true;
  }
  std::string with_slash(path);
  with_slash += '/';
  std::string_view rest;
  return walk(with_slash, table, &rest);
}

Stream* PakFileSystem::open(const NameString& name, std::int32_t mode) {
  if (mode != mode_read || !validate_path(name, false)) return nullptr;
  const std::uint8_t* entry = pak_lookup(name.view());
  if (entry == nullptr) return nullptr;
  auto* stream = new PakMemberStream(name, this, archive_, PakEntryView{entry}, enciphered_);
  if (!stream->ready()) {
    stream->close();
    return nullptr;
  }
  return stream;
}

std::int32_t PakFileSystem::reserved(const NameString& name, std::int32_t) {
  validate_path(name, false);
  return 0;
}

std::uint64_t PakFileSystem::file_size(const NameString& name) {
  if (!validate_path(name, false)) return size_unknown;
  const std::uint8_t* entry = pak_lookup(name.view());
  return entry != nullptr ? PakEntryView{entry}.size() : size_unknown;
}

bool PakFileSystem::is_file(const NameString& name) {
  return validate_path(name, false) && pak_lookup(name.view()) != nullptr;
}

namespace {

bool entry_matches(const PakEntryView& entry, const NameString& mask) {
  if (!entry.valid_name()) return false;
  return pattern_match(reinterpret_cast<const char*>(entry.raw), mask.c_str());
}

}  // namespace

FileFinder* PakFileSystem::find_first(const NameString& pattern) {
  if (!usable_ || !validate_path(pattern, true)) return nullptr;
  std::string_view path = pattern.view();
  if (path[0] == '/') path.remove_prefix(1);
  std::uint32_t table;
  std::string_view rest;
  if (!walk(path, &table, &rest)) return nullptr;
  NameString mask(rest);
  std::uint32_t count = table_count(table);
  for (std::uint32_t i = 0; i < count; ++i)
    if (entry_matches(table_entry(table, i), mask))
      return new PakFinder(table, i, directory_part(pattern), std::move(mask), this);
  return nullptr;
}

bool PakFileSystem::find_next(FileFinder* base) {
  auto* finder = static_cast<PakFinder*>(base);
  if (finder == nullptr) return false;
  std::uint32_t count = table_count(finder->table);
  if (finder->index >= count) return false;
  while (++finder->index < count)
    if (entry_matches(table_entry(finder->table, finder->index), finder->mask)) return true;
  return false;
}

void PakFileSystem::find_close(FileFinder* finder) { delete finder; }

// ---- PakFinder -----------------------------------------------------------------------

NameString PakFinder::name() {
  std::string_view own = fs_->table_entry(table, index).name();
  if (!own.empty() && own[0] == '/') own.remove_prefix(1);
  std::string text(prefix.view());
  text += own;
  return NameString(text);
}

std::uint64_t PakFinder::size() { return fs_->table_entry(table, index).size(); }
bool PakFinder::is_directory() { return fs_->table_entry(table, index).is_directory(); }
