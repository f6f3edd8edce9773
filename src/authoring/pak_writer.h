// Writes pak archives: sorted directory tables, optional enciphering, per-member LZSS
// compression. Used by `kestol pak create`, the demo's build and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class PakCompression { automatic, always, never };

struct PakWriterOptions {
  bool encipher = false;
  // automatic: a member is compressed when that makes it smaller.
  PakCompression compression = PakCompression::automatic;
  // Called before each member is packed (its path, its number from 0, the member count).
  std::function<void(const std::string& path, std::size_t index, std::size_t count)> progress;
};

class PakWriter {
 public:
  PakWriter();
  ~PakWriter();
  PakWriter(const PakWriter&) = delete;
  PakWriter& operator=(const PakWriter&) = delete;

  // A member at a "/"-separated path; directories on the way are made. False (with the
  // reason in *error) for a path the readers could not reach or a name already taken.
  bool add_file(std::string_view path, std::vector<std::uint8_t> data, std::string* error);
  // An empty directory (or one that will get members later).
  bool add_directory(std::string_view path, std::string* error);

  bool build(const PakWriterOptions& options, std::vector<std::uint8_t>* archive,
             std::string* error);

 private:
  struct Dir;
  Dir* make_directories(std::string_view path, std::string* error);
  std::unique_ptr<Dir> root_;
};
