#include "fs/cipher.h"

#include <cstring>

void cipher_init(CipherState* state) {
  std::memcpy(state->table, cipher_initial_state, 256);
  state->feedback = cipher_initial_state[256];
  state->step = cipher_initial_state[257];
}

void cipher_decode(std::uint8_t* destination, const std::uint8_t* source, std::size_t count,
                   CipherState* state) {
  std::uint8_t f = state->feedback;
  std::uint8_t s = state->step;
  std::uint8_t* table = state->table;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t c = source[i];
    std::uint8_t plain = table[f] ^ table[s] ^ c;
    table[static_cast<std::uint8_t>(f + s)] = c;
    s = static_cast<std::uint8_t>(s + 1);
    f = c;
    destination[i] = plain;
  }
  state->feedback = f;
  state->step = s;
}

void cipher_encode(std::uint8_t* destination, const std::uint8_t* source, std::size_t count,
                   CipherState* state) {
  std::uint8_t f = state->feedback;
  std::uint8_t s = state->step;
  std::uint8_t* table = state->table;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t c = source[i] ^ table[f] ^ table[s];
    table[static_cast<std::uint8_t>(f + s)] = c;
    s = static_cast<std::uint8_t>(s + 1);
    f = c;
    destination[i] = c;
  }
  state->feedback = f;
  state->step = s;
}
