// The archive cipher: a self-synchronising byte-stream cipher whose state advances with
// every enciphered byte.
#pragma once

#include <cstddef>
#include <cstdint>

struct CipherState {
  std::uint8_t table[256];
  std::uint8_t feedback;
  std::uint8_t step;
};
static_assert(sizeof(CipherState) == 258);

// The system's fixed initial state (256 table bytes, feedback, step). Every enciphered
// archive depends on it: never change it.
extern const std::uint8_t cipher_initial_state[258];

void cipher_init(CipherState* state);
// Enciphered bytes to plain bytes; destination and source may be the same block.
void cipher_decode(std::uint8_t* destination, const std::uint8_t* source, std::size_t count,
                   CipherState* state);
// Plain bytes to enciphered bytes, the writer's side of the same walk.
void cipher_encode(std::uint8_t* destination, const std::uint8_t* source, std::size_t count,
                   CipherState* state);
