// The temporary files of a capture: each made fresh (mkstemp) beside the file it becomes,
// renamed over it only when complete, and removed on every other way out: a normal return,
// exit() from a fatal error inside the demo, or SIGINT, SIGTERM and SIGHUP.
#pragma once

#include <cstdio>
#include <string>

// Installs the clean-up at exit and for the signals; call once, early.
void temp_files_install_cleanup();

// Creates an empty temporary file in the folder of `target`, named after it and ending in
// `suffix` (so a program that reads the type from the name sees the right one), with the
// mode a new file would get. Returns its path, or "" with `error` set. A target that is a
// device or a pipe (/dev/null, /dev/stdout) is returned itself: it is written in place.
std::string temp_file_beside(const std::string& target, const char* suffix, std::string& error);

// Renames a complete temporary file over its target; false with `error` set (the
// temporary file is then removed).
bool temp_file_commit(const std::string& temp, const std::string& target, std::string& error);

// True for an existing file that is neither a regular file nor a folder.
bool is_special_file(const std::string& path);

// Removes a temporary file now (only one temp_file_beside made).
void temp_file_remove(const std::string& temp);

// Flushes the stream and syncs it to the disk (a device that cannot sync is fine); false
// with errno set.
bool flush_and_sync(std::FILE* file);

// "'PATH': strerror(errno)", for messages.
std::string file_error(const std::string& path, int error_number);

// A text file written through a temporary file: every write is checked, and the first
// failure is kept with its cause.
class CheckedFile {
 public:
  CheckedFile() = default;
  CheckedFile(const CheckedFile&) = delete;
  CheckedFile& operator=(const CheckedFile&) = delete;
  ~CheckedFile();
  // Creates the temporary file; false with error() set.
  bool create(const std::string& target);
  bool is_open() const { return file_ != nullptr; }
  // printf into the file; false once anything failed.
  bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Flushes, syncs, closes and renames; false with error() set.
  bool commit();
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  void fail(int error_number);
  std::string target_, temp_, error_;
  std::FILE* file_ = nullptr;
};
