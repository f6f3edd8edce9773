// Splits the command line into arguments; nothing in the program reads them.
#pragma once

#include <cstdint>

extern char** argument_list;
extern std::uint32_t argument_count;
extern std::uint32_t argument_capacity;

std::uint32_t command_line_split(const char* text, bool leading_empty);
void command_line_free();
