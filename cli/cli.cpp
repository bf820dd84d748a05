#include "cli/cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lumaro::cli {
namespace {

std::string Reason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

}  // namespace

int PrintVersion(const char* program) {
  std::printf("%s %s\n", program, kVersion);
  std::string error;
  if (FlushStdout(&error)) return kOk;
  std::fprintf(stderr, "%s: %s\n", program, error.c_str());
  return kFailed;
}

int PrintHelp(const char* program, const char* text) {
  std::fputs(text, stdout);
  std::string error;
  if (FlushStdout(&error)) return kOk;
  std::fprintf(stderr, "%s: %s\n", program, error.c_str());
  return kFailed;
}

int Fail(const char* program, const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", program, message.c_str());
  return status;
}

int UsageError(const char* program, const std::string& message, const char* usage) {
  std::fprintf(stderr, "%s: %s\n%s", program, message.c_str(), usage);
  return kUsage;
}

bool ReadInput(const std::string& path, std::string* text, std::string* error) {
  const bool is_stdin = path == "-";
  const int fd = is_stdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const std::string name = is_stdin ? "standard input" : path;
  if (fd < 0) {
    *error = Reason(name, errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    if (!is_stdin) ::close(fd);
    *error = Reason(name, EISDIR);
    return false;
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int saved = errno;
      if (!is_stdin) ::close(fd);
      *error = Reason(name, saved);
      return false;
    }
  }
  if (!is_stdin) ::close(fd);
  return true;
}

std::FILE* OpenInput(const std::string& path, std::string* error) {
  if (path == "-") return stdin;
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) {
    *error = Reason(path, errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(::fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(in);
    *error = Reason(path, EISDIR);
    return nullptr;
  }
  return in;
}

bool FlushStdout(std::string* error) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  *error = Reason("standard output", errno != 0 ? errno : EIO);
  return false;
}

AtomicFile::~AtomicFile() {
  Discard();
}

bool AtomicFile::Open(const std::string& path, std::string* error) {
  Discard();
  name_ = path;
  path_ = path;
  // A link is followed, so the file it names is replaced rather than the link.
  if (char* real = ::realpath(path.c_str(), nullptr); real != nullptr) {
    path_ = real;
    std::free(real);
  }
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // A device or pipe cannot be replaced: it is written in place.
    if (S_ISDIR(info.st_mode)) {
      *error = Reason(path, EISDIR);
      return false;
    }
    file_ = std::fopen(path_.c_str(), "w");
    if (file_ == nullptr) *error = Reason(path, errno);
    return file_ != nullptr;
  }
  std::string pattern = path_ + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    *error = Reason(path, errno);
    return false;
  }
  temp_path_ = pattern;
  // mkstemp makes the file private; a written file gets the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "w");
  if (file_ == nullptr) {
    *error = Reason(path, errno);
    ::close(fd);
    Discard();
    return false;
  }
  return true;
}

bool AtomicFile::Commit(std::string* error) {
  if (file_ == nullptr) {
    *error = name_ + ": not open";
    return false;
  }
  errno = 0;
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  if (ok && !temp_path_.empty() && ::fsync(::fileno(file_)) != 0) ok = false;
  const int saved = errno != 0 ? errno : EIO;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok || !closed) {
    *error = Reason(name_, ok ? errno : saved);
    Discard();
    return false;
  }
  if (temp_path_.empty()) return true;  // written in place
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    *error = Reason(name_, errno);
    Discard();
    return false;
  }
  temp_path_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  AtomicFile file;
  if (!file.Open(path, error)) return false;
  if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) {
    *error = Reason(path, errno);
    return false;
  }
  return file.Commit(error);
}

}  // namespace lumaro::cli
