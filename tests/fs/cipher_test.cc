#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "fs/cipher.h"

namespace {

// Regenerates the initial state from its documented seed (see cipher_table.cc).
std::vector<std::uint8_t> regenerate_initial_state() {
  std::uint64_t x = 0x4B6573746F6C3330ull;
  auto next = [&] {
    x += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  std::vector<std::uint8_t> t(256);
  for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
  for (int i = 255; i > 0; --i) std::swap(t[i], t[next() % (i + 1)]);
  t.push_back(static_cast<std::uint8_t>(next()));
  t.push_back(static_cast<std::uint8_t>(next()));
  return t;
}

TEST(Cipher, InitialStateIsTheDocumentedConstant) {
  std::vector<std::uint8_t> expected = regenerate_initial_state();
  EXPECT_EQ(std::memcmp(cipher_initial_state, expected.data(), 258), 0);
  CipherState state;
  cipher_init(&state);
  EXPECT_EQ(std::memcmp(state.table, expected.data(), 256), 0);
  EXPECT_EQ(state.feedback, expected[256]);
  EXPECT_EQ(state.step, expected[257]);
}

TEST(Cipher, DecodeFollowsTheWalkByteForByte) {
  // The walk written out once more, plainly, on a random state.
  std::mt19937 rng(11);
  CipherState a;
  for (auto& b : a.table) b = static_cast<std::uint8_t>(rng());
  a.feedback = 250;
  a.step = 255;
  CipherState b = a;
  std::vector<std::uint8_t> source(3000);
  for (auto& c : source) c = static_cast<std::uint8_t>(rng());
  std::vector<std::uint8_t> plain(source.size());
  cipher_decode(plain.data(), source.data(), source.size(), &a);
  for (std::size_t i = 0; i < source.size(); ++i) {
    int f = b.feedback, s = b.step, c = source[i];
    ASSERT_EQ(plain[i], b.table[f] ^ b.table[s] ^ c) << i;
    b.table[(f + s) % 256] = static_cast<std::uint8_t>(c);
    b.step = static_cast<std::uint8_t>((s + 1) % 256);
    b.feedback = static_cast<std::uint8_t>(c);
  }
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(Cipher, EncodeThenDecodeInAnyPiecesGivesThePlainBytes) {
  std::mt19937 rng(12);
  std::vector<std::uint8_t> plain(10000);
  for (auto& c : plain) c = static_cast<std::uint8_t>(rng() % 4);  // repetitive input
  std::vector<std::uint8_t> enciphered(plain.size());
  CipherState state;
  cipher_init(&state);
  cipher_encode(enciphered.data(), plain.data(), plain.size(), &state);
  EXPECT_NE(enciphered, plain);
  cipher_init(&state);
  std::vector<std::uint8_t> back = enciphered;  // in place, in uneven pieces
  for (std::size_t at = 0; at < back.size();) {
    std::size_t n = std::min<std::size_t>(1 + rng() % 300, back.size() - at);
    cipher_decode(back.data() + at, back.data() + at, n, &state);
    at += n;
  }
  EXPECT_EQ(back, plain);
}

}  // namespace
