#include "temp_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Fixed storage, so the signal handler touches no heap.
constexpr int kSlots = 16;
constexpr int kPathBytes = 4096;
char slot_path[kSlots][kPathBytes];
volatile sig_atomic_t slot_used[kSlots];

bool remember(const std::string& path) {
  if (path.size() >= kPathBytes) return false;
  for (int i = 0; i < kSlots; ++i) {
    if (slot_used[i]) continue;
    std::memcpy(slot_path[i], path.c_str(), path.size() + 1);
    slot_used[i] = 1;
    return true;
  }
  return false;
}

// True when the path was one of ours.
bool forget(const std::string& path) {
  bool found = false;
  for (int i = 0; i < kSlots; ++i) {
    if (slot_used[i] && path == slot_path[i]) {
      slot_used[i] = 0;
      found = true;
    }
  }
  return found;
}

void remove_all() {
  for (int i = 0; i < kSlots; ++i) {
    if (!slot_used[i]) continue;
    unlink(slot_path[i]);
    slot_used[i] = 0;
  }
}

extern "C" void on_signal(int number) {
  remove_all();
  signal(number, SIG_DFL);
  raise(number);
}

}  // namespace

void temp_files_install_cleanup() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(remove_all);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
  }
}

bool flush_and_sync(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0 || errno == EINVAL;
}

std::string file_error(const std::string& path, int error_number) {
  return "'" + path + "': " + std::strerror(error_number);
}

bool is_special_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

std::string temp_file_beside(const std::string& target, const char* suffix, std::string& error) {
  // A device or a pipe is written in place: renaming over it would replace it.
  if (is_special_file(target)) return target;
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string path = folder + "." + name + ".XXXXXX" + suffix;
  std::vector<char> buffer(path.begin(), path.end());
  buffer.push_back('\0');
  const int fd = mkstemps(buffer.data(), static_cast<int>(std::strlen(suffix)));
  if (fd < 0) {
    error = file_error(target, errno);
    return {};
  }
  path = buffer.data();
  // mkstemp gives 0600; the finished file gets what any new file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  if (!remember(path)) {
    unlink(path.c_str());
    error = "'" + target + "': too many temporary files";
    return {};
  }
  return path;
}

bool temp_file_commit(const std::string& temp, const std::string& target, std::string& error) {
  if (temp == target) return true;  // written in place
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    error = file_error(target, errno);
    temp_file_remove(temp);
    return false;
  }
  forget(temp);
  return true;
}

void temp_file_remove(const std::string& temp) {
  // Only what this program made: never the device or pipe a file was written into.
  if (!temp.empty() && forget(temp)) unlink(temp.c_str());
}

CheckedFile::~CheckedFile() {
  if (file_ != nullptr) std::fclose(file_);
  temp_file_remove(temp_);
}

bool CheckedFile::create(const std::string& target) {
  target_ = target;
  temp_ = temp_file_beside(target, "", error_);
  if (temp_.empty()) return false;
  file_ = std::fopen(temp_.c_str(), "w");
  if (file_ == nullptr) fail(errno);
  return file_ != nullptr;
}

void CheckedFile::fail(int error_number) {
  if (error_.empty()) error_ = file_error(target_, error_number != 0 ? error_number : EIO);
}

bool CheckedFile::print(const char* format, ...) {
  if (file_ == nullptr || failed()) return false;
  va_list arguments;
  va_start(arguments, format);
  const int n = std::vfprintf(file_, format, arguments);
  va_end(arguments);
  if (n < 0) fail(errno);
  return !failed();
}

bool CheckedFile::commit() {
  if (file_ == nullptr) return false;
  if (!failed() && !flush_and_sync(file_)) fail(errno);
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (!failed() && closed != 0) fail(errno);
  if (failed()) {
    temp_file_remove(temp_);
    temp_.clear();
    return false;
  }
  const bool done = temp_file_commit(temp_, target_, error_);
  temp_.clear();
  return done;
}
