// The LZSS decoder on arbitrary compressed data: the fast decoder must agree with the
// item-at-a-time reference, whatever the request sizes; the encoder must round-trip.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "authoring/lzss_encoder.h"
#include "fs/lzss.h"
#include "tests/support/lzss_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::uint32_t piece = 1 + data[0] * 7;  // request size
  const std::uint8_t* packed = data + 1;
  std::size_t packed_size = size - 1;
  std::size_t want = packed_size * 9 + 64;  // more than any data can produce

  std::vector<std::uint8_t> fast(want), reference(want);
  MemoryByteSource fast_source(packed, packed_size);
  LzssDecoder decoder(&fast_source);
  PlainByteSource reference_source(packed, packed_size);
  ReferenceLzssDecoder plain(&reference_source);
  std::size_t done_fast = 0, done_ref = 0;
  for (;;) {
    std::uint32_t ask = static_cast<std::uint32_t>(want - done_fast < piece ? want - done_fast : piece);
    std::uint32_t a = decoder.read(fast.data() + done_fast, ask);
    std::uint32_t b = plain.read(reference.data() + done_ref, ask);
    if (a != b) std::abort();
    done_fast += a;
    done_ref += b;
    if (a < ask || done_fast == want) break;
  }
  // Only the bytes produced are defined.
  if (!std::equal(fast.begin(), fast.begin() + done_fast, reference.begin()) ||
      fast_source.position() != reference_source.position())
    std::abort();

  // Round trip of the input itself.
  std::vector<std::uint8_t> input(data, data + size);
  std::vector<std::uint8_t> back;
  if (!lzss_decompress(lzss_compress(input), static_cast<std::uint32_t>(size), &back) ||
      back != input)
    std::abort();
  return 0;
}
