// Shared lookup tables for demo code.
#pragma once

#include <cstdint>

extern float sine_table[1024];
extern float cosine_table[1024];
extern std::uint8_t* lighten_table;

int lookup_tables_init();
void lookup_tables_free();
