#include "tools/kestol/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <random>
#endif

namespace {

std::string folder_of(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
#ifdef _WIN32
  std::size_t back = path.find_last_of('\\');
  if (back != std::string::npos && (slash == std::string::npos || back > slash)) slash = back;
#endif
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string why(int error) { return std::strerror(error); }

// A new file that did not exist before, opened for writing; -1 with errno set.
int make_temporary(const std::string& target, std::string* name) {
  std::string base = folder_of(target) + "." +
                     target.substr(folder_of(target).size()) + ".";
#ifdef _WIN32
  std::random_device seed;
  std::mt19937 rng(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rng()));
    *name = base + suffix;
    int fd = ::_open(name->c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
#else
  std::vector<char> pattern(base.begin(), base.end());
  for (char c : std::string("XXXXXX")) pattern.push_back(c);
  pattern.push_back('\0');
  int fd = ::mkstemp(pattern.data());
  if (fd >= 0) *name = pattern.data();
  return fd;
#endif
}

}  // namespace

bool ReplacingFile::open(const std::string& target, std::string* error) {
  discard();
  target_ = target;
  struct stat info;
  if (::stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    *error = "cannot write '" + target + "': " + why(EISDIR);
    return false;
  }
  if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
#ifdef _WIN32
    fd_ = ::_open(target.c_str(), _O_WRONLY | _O_BINARY);
#else
    fd_ = ::open(target.c_str(), O_WRONLY);
#endif
    if (fd_ < 0) {
      *error = "cannot write '" + target + "': " + why(errno);
      return false;
    }
    direct_ = true;
    return true;
  }
  fd_ = make_temporary(target, &temporary_);
  if (fd_ < 0) {
    std::string folder = folder_of(target);
    *error = "cannot create a file in '" + (folder.empty() ? std::string(".") : folder) +
             "': " + why(errno);
    temporary_.clear();
    return false;
  }
  if (::fstat(fd_, &info) == 0) {
    device_ = static_cast<std::uint64_t>(info.st_dev);
    inode_ = static_cast<std::uint64_t>(info.st_ino);
  }
  return true;
}

bool ReplacingFile::write(const void* data, std::size_t size, std::string* error) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    auto n = ::write(fd_, at, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write '" + target_ + "': " + why(n < 0 ? errno : EIO);
      return false;
    }
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReplacingFile::rewrite_start(const void* data, std::size_t size, std::string* error) {
  if (direct_ || ::lseek(fd_, 0, SEEK_SET) != 0) {
    *error = "cannot rewind '" + target_ + "' to complete its header";
    return false;
  }
  bool ok = write(data, size, error);
  ::lseek(fd_, 0, SEEK_END);
  return ok;
}

bool ReplacingFile::commit(std::string* error) {
  if (fd_ < 0) {
    *error = "cannot write '" + target_ + "': nothing open";
    return false;
  }
  if (direct_) {
    int fd = fd_;
    fd_ = -1;
    direct_ = false;
    if (::close(fd) != 0) {
      *error = "cannot write '" + target_ + "': " + why(errno);
      return false;
    }
    return true;
  }
#ifdef _WIN32
  if (::_commit(fd_) != 0) {
#else
  struct stat old;
  mode_t mode;
  if (::stat(target_.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd_, mode) != 0) {
    *error = "cannot set the mode of '" + temporary_ + "': " + why(errno);
    return false;
  }
  if (::fsync(fd_) != 0) {
#endif
    *error = "cannot write '" + target_ + "': " + why(errno);
    return false;
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    *error = "cannot write '" + target_ + "': " + why(errno);
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary_, target_, ec);
  if (ec) {
    *error = "cannot replace '" + target_ + "': " + ec.message();
    return false;
  }
  temporary_.clear();
  return true;
}

void ReplacingFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  direct_ = false;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}
