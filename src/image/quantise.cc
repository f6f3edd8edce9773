// Median cut: the largest box (by volume of its colour bounds) is split at its pixel median
// along its widest channel until there are enough boxes or every box holds one colour.
#include "image/quantise.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct ColourBox {
  std::size_t first;    // index of the first pixel of the run in the working block
  std::uint32_t count;  // pixels in the run
  std::uint8_t min[3];
  std::uint8_t max[3];
  std::int8_t sorted_axis;  // channel the run is sorted by, -1 when unsorted
};

std::uint32_t volume(const ColourBox& box) {
  return std::uint32_t(box.max[0] - box.min[0] + 1) * std::uint32_t(box.max[1] - box.min[1] + 1) *
         std::uint32_t(box.max[2] - box.min[2] + 1);
}

void compute_bounds(ColourBox& box, const std::uint8_t* work) {
  // Separate accumulators per channel keep the loop in registers.
  unsigned lo0 = 255, lo1 = 255, lo2 = 255, hi0 = 0, hi1 = 0, hi2 = 0;
  const std::uint8_t* p = work + box.first * 3;
  const std::uint8_t* end = p + std::size_t(box.count) * 3;
  for (; p != end; p += 3) {
    const unsigned c0 = p[0], c1 = p[1], c2 = p[2];
    lo0 = c0 < lo0 ? c0 : lo0;
    hi0 = c0 > hi0 ? c0 : hi0;
    lo1 = c1 < lo1 ? c1 : lo1;
    hi1 = c1 > hi1 ? c1 : hi1;
    lo2 = c2 < lo2 ? c2 : lo2;
    hi2 = c2 > hi2 ? c2 : hi2;
  }
  box.min[0] = std::uint8_t(lo0), box.min[1] = std::uint8_t(lo1), box.min[2] = std::uint8_t(lo2);
  box.max[0] = std::uint8_t(hi0), box.max[1] = std::uint8_t(hi1), box.max[2] = std::uint8_t(hi2);
}

// Equal extents favour the later channel.
int split_axis(const ColourBox& box) {
  const int d0 = box.max[0] - box.min[0];
  const int d1 = box.max[1] - box.min[1];
  const int d2 = box.max[2] - box.min[2];
  if (d0 > d1 && d0 > d2) return 0;
  return d2 < d1 ? 1 : 2;
}

// Stable counting sort of the box's pixels by one channel, through `scratch`.
void sort_run(const ColourBox& box, std::uint8_t* work, std::uint8_t* scratch, int axis) {
  std::uint32_t start[256] = {};
  std::uint8_t* run = work + box.first * 3;
  for (std::uint32_t i = 0; i < box.count; ++i) ++start[run[i * 3 + axis]];
  std::uint32_t sum = 0;
  for (auto& s : start) {
    const std::uint32_t n = s;
    s = sum;
    sum += n;
  }
  for (std::uint32_t i = 0; i < box.count; ++i) {
    const std::uint8_t* p = run + i * 3;
    std::memcpy(scratch + std::size_t(start[p[axis]]++) * 3, p, 3);
  }
  std::memcpy(run, scratch, std::size_t(box.count) * 3);
}

}  // namespace

std::uint32_t build_palette(const std::uint8_t* rows, std::uint32_t width, std::uint32_t height,
                            std::uint32_t pitch, std::uint8_t* palette,
                            std::uint32_t max_colours) {
  if (width == 0 || height == 0 || max_colours == 0) return 0;
  const std::uint64_t pixels64 = std::uint64_t(width) * height;
  // Box counts are 32-bit and the working copy must be addressable.
  if (pixels64 > 0xFFFFFFFFu || pixels64 * 3 > SIZE_MAX / 2) return 0;
  const std::uint32_t pixels = std::uint32_t(pixels64);
  max_colours = std::min<std::uint32_t>(max_colours, 256);

  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[std::size_t(pixels) * 3]);
  std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow)
                                              std::uint8_t[std::size_t(pixels) * 3]);
  if (!work || !scratch) return 0;
  for (std::uint32_t y = 0; y < height; ++y)
    std::memcpy(work.get() + std::size_t(y) * width * 3, rows + std::size_t(y) * pitch,
                std::size_t(width) * 3);

  ColourBox boxes[256];
  boxes[0] = ColourBox{0, pixels, {}, {}, -1};
  compute_bounds(boxes[0], work.get());
  std::uint32_t n = 1;
  while (n < max_colours) {
    ColourBox& box = boxes[n - 1];
    if (volume(box) <= 1) break;
    const int axis = split_axis(box);
    if (box.sorted_axis != axis) {
      sort_run(box, work.get(), scratch.get(), axis);
      box.sorted_axis = std::int8_t(axis);
    }
    const std::uint32_t half = box.count / 2;
    ColourBox upper{box.first + half, box.count - half, {}, {}, std::int8_t(axis)};
    box.count = half;
    compute_bounds(box, work.get());
    compute_bounds(upper, work.get());
    boxes[n++] = upper;
    // Kept ascending by volume so the last box is the one to split next; stable so the
    // result never depends on the sort's whims.
    std::stable_sort(boxes, boxes + n, [](const ColourBox& a, const ColourBox& b) {
      return volume(a) < volume(b);
    });
  }

  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint64_t sum[3] = {0, 0, 0};
    const std::uint8_t* p = work.get() + boxes[i].first * 3;
    for (std::uint32_t k = 0; k < boxes[i].count; ++k, p += 3) {
      sum[0] += p[0];
      sum[1] += p[1];
      sum[2] += p[2];
    }
    for (int c = 0; c < 3; ++c) palette[i * 3 + c] = std::uint8_t(sum[c] / boxes[i].count);
  }
  return n;
}

std::uint32_t nearest_palette_index(const std::uint8_t* palette, std::uint32_t count,
                                    std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  int best = 1531;  // one more than the largest distance, 6 * 255
  std::uint32_t result = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = palette + i * 3;
    const int d = 2 * std::abs(r - e[0]) + 3 * std::abs(g - e[1]) + std::abs(b - e[2]);
    if (d < best) {
      best = d;
      result = i;
    }
  }
  return result;
}

namespace {

// Exact nearest search with pruning: the entries sorted by green, walked outwards from the
// pixel's green level. Green weighs 3, so once 3 * |dG| exceeds the best distance no entry
// further out can win or tie; ties between entries keep the lower index.
class NearestSearch {
 public:
  NearestSearch(const std::uint8_t* palette, std::uint32_t count)
      : count_(std::min<std::uint32_t>(count, 256)) {
    std::uint32_t order[256];
    for (std::uint32_t i = 0; i < count_; ++i) order[i] = i;
    std::stable_sort(order, order + count_, [palette](std::uint32_t a, std::uint32_t b) {
      return palette[a * 3 + 1] < palette[b * 3 + 1];
    });
    for (std::uint32_t k = 0; k < count_; ++k) {
      const std::uint32_t i = order[k];
      entry_[k] = Entry{palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2], std::uint8_t(i)};
    }
    // first_at_or_above_[g]: the first sorted entry whose green is at least g.
    std::uint32_t k = 0;
    for (int g = 0; g < 257; ++g) {
      while (k < count_ && entry_[k].g < g) ++k;
      first_at_or_above_[g] = std::uint16_t(k);
    }
    for (auto& key : cache_key_) key = kEmpty;
  }

  std::uint8_t find(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const std::uint32_t rgb = std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
    // Pictures repeat colours a lot: a small direct-mapped cache of exact colours.
    const std::uint32_t slot = (rgb * 2654435761u) >> (32 - kCacheBits);
    if (cache_key_[slot] == rgb) return cache_index_[slot];

    int best = 1531;
    int best_index = 0;
    auto consider = [&](const Entry& e) {
      const int d = 2 * std::abs(r - e.r) + 3 * std::abs(g - e.g) + std::abs(b - e.b);
      if (d < best || (d == best && e.index < best_index)) {
        best = d;
        best_index = e.index;
      }
    };
    int up = first_at_or_above_[g];
    int down = up - 1;
    const int n = int(count_);
    while (up < n || down >= 0) {
      if (up < n) {
        if (3 * (entry_[up].g - g) > best) {
          up = n;
        } else {
          consider(entry_[up++]);
        }
      }
      if (down >= 0) {
        if (3 * (g - entry_[down].g) > best) {
          down = -1;
        } else {
          consider(entry_[down--]);
        }
      }
    }
    cache_key_[slot] = rgb;
    cache_index_[slot] = std::uint8_t(best_index);
    return std::uint8_t(best_index);
  }

 private:
  struct Entry {
    std::uint8_t r, g, b, index;
  };
  static constexpr int kCacheBits = 12;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // never a 24-bit colour
  std::uint32_t count_;
  Entry entry_[256];
  std::uint16_t first_at_or_above_[257];
  std::uint32_t cache_key_[1u << kCacheBits];
  std::uint8_t cache_index_[1u << kCacheBits];
};

}  // namespace

void map_to_palette(std::uint8_t* dst, std::uint32_t dst_pitch, const std::uint8_t* src,
                    std::uint32_t src_pitch, std::uint32_t width, std::uint32_t height,
                    const std::uint8_t* palette, std::uint32_t count) {
  if (count > 256) {
    // Indices are bytes; larger palettes only happen through direct calls.
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t* p = src + std::size_t(y) * src_pitch + std::size_t(x) * 3;
        dst[std::size_t(y) * dst_pitch + x] =
            std::uint8_t(nearest_palette_index(palette, count, p[0], p[1], p[2]));
      }
    return;
  }
  auto search = std::make_unique<NearestSearch>(palette, count);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* s = src + std::size_t(y) * src_pitch;
    std::uint8_t* d = dst + std::size_t(y) * dst_pitch;
    for (std::uint32_t x = 0; x < width; ++x, s += 3) d[x] = search->find(s[0], s[1], s[2]);
  }
}
