#include "image/jpeg_scan.h"

#include <cstring>
#include <new>

void JpegFastHuffman::build(const HuffmanCode* entries, std::uint32_t n, bool dc) {
  std::memset(lookup, 0, sizeof lookup);
  std::memset(first_code, 0, sizeof first_code);
  std::memset(count, 0, sizeof count);
  std::memset(offset, 0, sizeof offset);
  for (std::uint32_t i = 0; i < n; ++i) {
    const HuffmanCode& e = entries[i];
    values[i] = static_cast<std::uint8_t>(e.value);
    int l = e.length;
    if (count[l] == 0) {
      first_code[l] = static_cast<std::uint32_t>(e.code);
      offset[l] = i;
    }
    ++count[l];
    // Short codes: the first (shortest) match wins, as in a walk by length.
    if (l <= lookup_bits && static_cast<std::uint32_t>(e.code) < (1u << l)) {
      std::uint32_t start = static_cast<std::uint32_t>(e.code) << (lookup_bits - l);
      std::uint32_t span = 1u << (lookup_bits - l);
      for (std::uint32_t j = 0; j < span; ++j)
        if (lookup[start + j] == 0)
          lookup[start + j] = static_cast<std::uint16_t>((l << 8) | e.value);
    }
  }
  if (dc) {
    for (std::uint32_t i = 0; i < (1u << lookup_bits); ++i) {
      fast_dc[i] = 0;
      const int len = lookup[i] >> 8, sz = lookup[i] & 15;
      if (len == 0 || len + sz > lookup_bits) continue;
      std::int32_t v = 0;
      if (sz > 0) {
        v = static_cast<std::int32_t>(i >> (lookup_bits - len - sz)) & ((1 << sz) - 1);
        if (v < (1 << (sz - 1))) v = v - (1 << sz) + 1;
      }
      fast_dc[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 8) | (len + sz);
    }
    return;
  }
  for (std::uint32_t i = 0; i < (1u << lookup_bits); ++i) {
    fast_ac[i] = 0;
    const int len = lookup[i] >> 8, sym = lookup[i] & 0xFF;
    const int r = sym >> 4, sz = sym & 15;
    if (len == 0 || sz == 0 || len + sz > lookup_bits) continue;
    std::int32_t v = static_cast<std::int32_t>(i >> (lookup_bits - len - sz)) & ((1 << sz) - 1);
    if (v < (1 << (sz - 1))) v = v - (1 << sz) + 1;
    fast_ac[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 8) | (r << 4) | (len + sz);
  }
}

JpegScanReader::JpegScanReader(ImageSource* source, std::uint64_t limit) {
  // The scan is read into memory so bits can be taken many at a time; a restart resync
  // rewinds to the byte the plain reader would stand on.
  std::size_t have = 0, capacity = 0;
  std::size_t chunk = 1 << 16;
  if (limit > 0xFFFFFFFFu - 2 * chunk) limit = 0xFFFFFFFFu - 2 * chunk;  // 32-bit positions
  for (;;) {
    if (have >= limit) break;
    if (chunk > limit - have) chunk = static_cast<std::size_t>(limit - have);
    if (capacity - have < chunk) {
      // Doubling keeps the copies linear in the size read.
      const std::size_t want = have + chunk > 2 * capacity ? have + chunk : 2 * capacity;
      std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[want]);
      if (!bigger) return;  // not loaded
      if (have) std::memcpy(bigger.get(), storage.get(), have);
      storage = std::move(bigger);
      capacity = want;
    }
    std::uint32_t got = source->read(storage.get() + have, static_cast<std::uint32_t>(chunk));
    if (got > chunk) got = static_cast<std::uint32_t>(chunk);
    have += got;
    if (got < chunk) break;
    if (chunk < (1u << 22)) chunk *= 2;
  }
  data = storage.get();
  size = static_cast<std::uint32_t>(have);
  loaded = true;
}

void JpegScanReader::prime() {
  marker = fetch(marker);
  lookahead = fetch(lookahead);
  std::uint8_t current = marker;
  if (current == 0xFF) {
    marker = lookahead;
    lookahead = fetch(lookahead);
  }
  acc = std::uint64_t(current) << 56;
  nbits = 8;
  at_marker = false;
  pushes = 0;
  records = 0;
  ring[0] = Snapshot{0, 1, pos, marker, lookahead};
}

void JpegScanReader::push_byte() {
  std::uint8_t current = lookahead;
  lookahead = fetch(lookahead);
  if (current == 0xFF) {
    marker = lookahead;
    lookahead = fetch(lookahead);
  } else {
    marker = current;
  }
  acc |= std::uint64_t(current) << (56 - nbits);
  nbits += 8;
  ++pushes;
  record(1, pos);
}

void JpegScanReader::fill() {
  // Common case: none of the next eight bytes is 0xFF, so each push is a plain byte and
  // no marker can be next. Same bytes, same snapshots as pushing them one by one.
  if (!at_marker && nbits <= 56 && lookahead != 0xFF && size - pos >= 8) {
    std::uint64_t w;
    std::memcpy(&w, data + pos, 8);
    const std::uint64_t n = ~w;  // a zero byte here is a 0xFF byte there
    if (((n - 0x0101010101010101ull) & ~n & 0x8080808080808080ull) == 0) {
      const int k = (56 - nbits) / 8 + 1;
      const std::uint8_t* d = data + pos;
      // The k bytes pushed: the lookahead, then d[0] .. d[k - 2], most significant first.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      const std::uint64_t be = __builtin_bswap64(w);
#else
      const std::uint64_t be = w;
#endif
      const std::uint64_t seq = (std::uint64_t(lookahead) << 56) | (be >> 8);
      acc |= (seq & (~0ull << (64 - 8 * k))) >> nbits;
      nbits += 8 * k;
      pushes += std::uint32_t(k);
      marker = k >= 2 ? d[k - 2] : lookahead;
      lookahead = d[k - 1];
      record(std::uint32_t(k), pos + 1);
      pos += std::uint32_t(k);
      return;
    }
  }
  while (nbits <= 56 && !at_marker) {
    // The byte after a 0xFF that is the next byte to take, as the refill would read it.
    if (lookahead == 0xFF && pos < size && (data[pos] & 0xF8) == 0xD0) {
      at_marker = true;
      break;
    }
    push_byte();
  }
}

void JpegScanReader::ensure(int n) {
  while (nbits < n) {
    fill();
    if (nbits < n && at_marker) {
      at_marker = false;  // read as data: its eight one-bits
      push_byte();
    }
  }
}

void JpegScanReader::restart_resync() {
  // Back to the state of the plain reader, whose current byte holds the next bit (or is
  // used up when the count of held bits is a whole number of bytes).
  const std::uint32_t target = pushes - static_cast<std::uint32_t>(nbits) / 8;
  // Every block takes at least one bit, so the target is one of the last nine pushes.
  std::uint32_t r = records, steps = 0;
  while (target - ring[r & 15].first >= ring[r & 15].count && steps < 15) --r, ++steps;
  const Snapshot& s = ring[r & 15];
  if (target - s.first >= s.count) {
    pos = 0;  // not reachable; a defined state all the same
    marker = lookahead = 0;
  } else if (s.count == 1) {
    pos = s.pos;
    marker = s.marker;
    lookahead = s.lookahead;
  } else {  // plain bytes: pos is at least 2 here
    pos = s.pos + (target - s.first);
    marker = data[pos - 2];
    lookahead = data[pos - 1];
  }
  marker = fetch(marker);
  lookahead = fetch(lookahead);
  acc = 0;
  nbits = 0;
  at_marker = false;
}

int JpegScanReader::decode_slow(const JpegFastHuffman& t) {
  std::uint32_t code = 0;
  for (int l = 1; l <= 16; ++l) {
    ensure(1);
    code = code * 2 + take(1);
    if (code - t.first_code[l] < t.count[l]) return t.values[t.offset[l] + code - t.first_code[l]];
  }
  return -1;
}

int JpegScanReader::huffman_decode_short(const JpegFastHuffman& t) {
  // fill() has run: fewer than 16 bits means a restart marker is next.
  if (nbits == 0 && at_marker) {
    // A restart marker where the next code would start: consume it.
    at_marker = false;
    push_byte();
    take(8);
    return -2;
  }
  return decode_slow(t);
}
