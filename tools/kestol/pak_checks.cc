#include "tools/kestol/pak_checks.h"

#include <algorithm>
#include <vector>

#include "tools/kestol/cli.h"

namespace {

std::string in_quotes(const std::string& name) { return "'" + escape_name(name) + "'"; }

}  // namespace

// A compressed member's stored length shows only by decoding it, so each is decoded only
// until it runs into the next member's data, which keeps the work within the archive's
// own size.
std::string overlapping_members(PakFileSystem& fs) {
  struct Extent {
    std::uint64_t offset;
    std::string path;
  };
  std::vector<Extent> extents;
  fs.for_each_entry(fs.root_table(), "", [&](const std::string& path, const PakEntryView& entry) {
    if (!entry.is_directory() && entry.size() > 0) extents.push_back({entry.offset(), path});
  });
  std::sort(extents.begin(), extents.end(),
            [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
  for (std::size_t i = 0; i + 1 < extents.size(); ++i) {
    const Extent& here = extents[i];
    const Extent& next = extents[i + 1];
    std::string words = in_quotes(here.path) + " and " + in_quotes(next.path);
    if (here.offset == next.offset) return words;
    std::uint64_t room = next.offset - here.offset;
    StreamPtr member(fs.open(NameString(here.path), mode_read));
    auto* pak_member = dynamic_cast<PakMemberStream*>(member.get());
    if (pak_member == nullptr) continue;  // unreadable: reported when it is extracted
    if (!pak_member->compressed()) {
      if (pak_member->size() > room) return words;
      continue;
    }
    bool overlaps = false;
    read_member(pak_member, [&](const std::uint8_t*, std::uint32_t) {
      overlaps = pak_member->stored_bytes_read() > room;
      return !overlaps;
    });
    if (overlaps) return words;
  }
  return "";
}

