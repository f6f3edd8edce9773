#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "authoring/lzss_encoder.h"
#include "fs/lzss.h"
#include "tests/support/fs_fixtures.h"
#include "tests/support/lzss_reference.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Decodes `size` bytes with requests of the given lengths (cycled) through a decoder.
template <typename Decoder>
Bytes decode_in_pieces(Decoder& decoder, std::size_t size, const std::vector<std::uint32_t>& pieces) {
  Bytes out(size);
  std::size_t done = 0, i = 0;
  while (done < size) {
    std::uint32_t ask = pieces[i++ % pieces.size()];
    if (ask > size - done) ask = static_cast<std::uint32_t>(size - done);
    std::uint32_t got = decoder.read(out.data() + done, ask);
    done += got;
    if (got < ask) break;
  }
  out.resize(done);
  return out;
}

// Random but well-formed compressed data: flag bytes and items of every kind, matches
// anywhere in the window (including overlapping and wrapping ones).
Bytes random_stream(std::mt19937& rng, std::size_t items) {
  Bytes out;
  while (items > 0) {
    std::uint8_t flags = static_cast<std::uint8_t>(rng());
    out.push_back(flags);
    for (int bit = 0; bit < 8 && items > 0; ++bit, --items) {
      if (flags & (1 << bit)) {
        out.push_back(static_cast<std::uint8_t>(rng()));
      } else {
        out.push_back(static_cast<std::uint8_t>(rng()));
        out.push_back(static_cast<std::uint8_t>(rng()));
      }
    }
  }
  return out;
}

TEST(LzssDecoder, FastDecoderEqualsTheItemAtATimeReferenceOnRandomStreams) {
  std::mt19937 rng(1);
  const std::vector<std::vector<std::uint32_t>> patterns = {
      {1}, {2, 3}, {17, 1, 18, 19}, {4096}, {100000}, {5, 250, 1, 37}};
  for (int round = 0; round < 60; ++round) {
    // Every fifth round is long enough to make the decoder recycle its history buffer.
    bool long_round = round % 5 == 0;
    Bytes packed = random_stream(rng, long_round ? 60000 : 200 + rng() % 6000);
    std::size_t size = 1 + rng() % (long_round ? 800000 : 60000);  // often a short read
    const auto& pieces = patterns[round % patterns.size()];

    PlainByteSource ref_source(packed.data(), packed.size());
    ReferenceLzssDecoder reference(&ref_source);
    Bytes expected = decode_in_pieces(reference, size, pieces);

    MemoryByteSource bulk_source(packed);  // offers the fast path
    LzssDecoder fast(&bulk_source);
    EXPECT_EQ(decode_in_pieces(fast, size, pieces), expected) << "round " << round;
    EXPECT_EQ(bulk_source.position(), ref_source.position()) << "round " << round;

    PlainByteSource plain_source(packed.data(), packed.size());  // careful path only
    LzssDecoder careful(&plain_source);
    EXPECT_EQ(decode_in_pieces(careful, size, pieces), expected) << "round " << round;
    EXPECT_EQ(plain_source.position(), ref_source.position());
  }
}

TEST(LzssDecoder, TakesOnlyTheCompressedBytesOfWhatItProduces) {
  // 3 literals then a match of 18: asking for the 21 bytes consumes exactly 6 bytes,
  // though more data follow.
  Bytes packed = {0x07, 'a', 'b', 'c', 0x00, 0x0F, 0xFF, 'x', 'y'};
  packed[4] = static_cast<std::uint8_t>(4078 & 0xFF);
  packed[5] = static_cast<std::uint8_t>(((4078 >> 4) & 0xF0) | 15);
  MemoryByteSource source(packed);
  LzssDecoder decoder(&source);
  Bytes out(21);
  ASSERT_EQ(decoder.read(out.data(), 21), 21u);
  EXPECT_EQ(source.position(), 6u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabcabcabcabcabc");
}

TEST(LzssDecoder, RestOfAMatchCarriesIntoTheNextRead) {
  Bytes packed = {0x01, 'q', static_cast<std::uint8_t>(4078 & 0xFF),
                  static_cast<std::uint8_t>(((4078 >> 4) & 0xF0) | 15)};
  MemoryByteSource source(packed);
  LzssDecoder decoder(&source);
  std::uint8_t out[32];
  ASSERT_EQ(decoder.read(out, 5), 5u);  // 'q' and four of the 18 match bytes
  EXPECT_EQ(source.position(), 4u);     // the whole match has been taken
  ASSERT_EQ(decoder.read(out, 32), 14u);  // the carried rest; then the data end
  for (int i = 0; i < 14; ++i) EXPECT_EQ(out[i], 'q');
  EXPECT_EQ(decoder.read(out, 1), 0u);
}

TEST(LzssDecoder, FirstMatchIntoTheInitialWindowGivesSpaces) {
  Bytes packed = {0x00, 0x00, 0x0F};  // position 0, length 18
  MemoryByteSource source(packed);
  LzssDecoder decoder(&source);
  std::uint8_t out[18];
  ASSERT_EQ(decoder.read(out, 18), 18u);
  for (std::uint8_t c : out) EXPECT_EQ(c, ' ');
}

TEST(LzssEncoder, RoundTripsThroughTheDecoderAndTheReference) {
  std::mt19937 rng(3);
  std::vector<Bytes> inputs = {Bytes{}, Bytes{'a'}, Bytes(5000, ' '), Bytes(70000, 0),
                               fs_fixtures::random_bytes(rng, 20000)};
  for (int i = 0; i < 6; ++i) inputs.push_back(fs_fixtures::compressible_bytes(rng, 1 + rng() % 100000));
  for (const Bytes& plain : inputs) {
    Bytes packed = lzss_compress(plain);
    if (plain.size() > 1000 && plain[0] == plain[1]) {
      EXPECT_LT(packed.size(), plain.size() / 4);
    }
    Bytes out;
    ASSERT_TRUE(lzss_decompress(packed, static_cast<std::uint32_t>(plain.size()), &out));
    EXPECT_EQ(out, plain);
    PlainByteSource source(packed.data(), packed.size());
    ReferenceLzssDecoder reference(&source);
    EXPECT_EQ(decode_in_pieces(reference, plain.size(), {7, 4096}), plain);
  }
}

TEST(LzssEncoder, PullFormGivesTheSameBytesInAnyReadSizes) {
  std::mt19937 rng(5);
  Bytes plain = fs_fixtures::compressible_bytes(rng, 30000);
  Bytes whole = lzss_compress(plain);
  MemoryByteSource source(plain);
  LzssEncodingCodec codec;
  std::unique_ptr<LzssEncoder> encoder(codec.create_encoder(&source));
  ASSERT_NE(encoder, nullptr);
  Bytes pieces;
  std::uint8_t buffer[7];
  while (std::uint32_t n = encoder->read(buffer, 1 + rng() % 7)) pieces.insert(pieces.end(), buffer, buffer + n);
  EXPECT_EQ(pieces, whole);
  EXPECT_EQ(codec.reserved(), 2);
  // The runtime's codec only decodes.
  LzssCodec runtime_codec;
  EXPECT_EQ(runtime_codec.create_encoder(&source), nullptr);
}

TEST(LzssDecoder, ShortDataGiveAShortRead) {
  Bytes plain(1000, 'z');
  Bytes packed = lzss_compress(plain);
  packed.resize(packed.size() - 1);
  Bytes out;
  EXPECT_FALSE(lzss_decompress(packed, 1000, &out));
}

}  // namespace
