// The platform services the engine relies on. Every backend (sdl, headless, win32)
// implements this interface; only src/host/ includes platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// ---- Message boxes ---------------------------------------------------------------------

enum class HostMessageBoxIcon { information, error };

// Shows a modal message box (no owner window). Every backend also writes the text to
// standard error, so a person at a terminal sees it.
void host_message_box(const char* text, const char* caption, HostMessageBoxIcon icon);

// ---- Program arguments and location ----------------------------------------------------

// Records the arguments main() received; host_command_line() rebuilds one command-line
// text from them (arguments with blanks are quoted), like the platform's own.
void host_set_arguments(int argc, char** argv);
const char* host_command_line();

// Writes the executable's full path (NUL-terminated) into buffer; false when it does not
// fit or cannot be found. Components are separated by "/" on every host (Windows ones
// too, whose file functions accept it), so the engine splits the path one way.
bool host_executable_path(char* buffer, std::size_t capacity);

// ---- Embedded blocks (the executable's resources) ---------------------------------------

struct EmbeddedBlock {
  const char* type;        // for example "FileSystem"
  std::uint32_t number;    // resource number, for example 102
  const std::uint8_t* data;
  std::size_t size;
};

// The table linked into the program. A program provides it by defining
// host_embedded_block_table (see embedded_blocks.h); programs that embed nothing get an
// empty table. Tests may replace it at run time.
std::span<const EmbeddedBlock> host_embedded_blocks();
void host_set_embedded_blocks(std::span<const EmbeddedBlock> blocks);
const EmbeddedBlock* host_find_embedded_block(const char* type, std::uint32_t number);

// ---- Icons ------------------------------------------------------------------------------

struct HostIcon;
using IconHandle = const HostIcon*;
// Icon resource `number` of the executable (an embedded block of type "Icon"), or null.
IconHandle host_load_icon(std::uint32_t number);

// ---- Performance counter ---------------------------------------------------------------

// The headless host can run on virtual time, so the counter is a host service. Both
// return false when the counter cannot be read.
bool host_performance_counter(std::int64_t* count);
bool host_performance_frequency(std::int64_t* frequency);
