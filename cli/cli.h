// The command-line conventions of our programs: exit statuses, --help and
// --version, reading an input file or standard input, and files that replace
// the old one only once they are written whole.
#pragma once

#include <cstdio>
#include <string>

#include "cli/version.h"

namespace lumaro::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;     // the request could not be carried out
inline constexpr int kUsage = 64;     // unknown option, missing value, wrong arguments
inline constexpr int kBadInput = 65;  // input unreadable, a directory, or malformed

// "NAME VERSION" on standard output; the status for it (1 when it cannot be
// written).
int PrintVersion(const char* program);
// `text` on standard output; 0, or 1 when it cannot be written.
int PrintHelp(const char* program, const char* text);
// "PROGRAM: message" on standard error; `status`.
int Fail(const char* program, const std::string& message, int status);
// "PROGRAM: message" and the usage text on standard error; kUsage.
int UsageError(const char* program, const std::string& message, const char* usage);

// Reads a whole file, or standard input for "-". On failure *error is
// "PATH: reason" (the errno text, "is a directory", ...).
bool ReadInput(const std::string& path, std::string* text, std::string* error);

// Opens a file for reading, or standard input for "-"; a directory is
// refused. nullptr with *error set as for ReadInput.
std::FILE* OpenInput(const std::string& path, std::string* error);

// Flushes standard output; false with *error set when it cannot be written.
bool FlushStdout(std::string* error);

// A file written beside its target under a temporary name and renamed over
// the target by Commit, after a flush and fsync. Until then the target is
// untouched; a file that is not committed is removed.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false with *error set when it cannot.
  bool Open(const std::string& path, std::string* error);
  std::FILE* stream() const { return file_; }
  const std::string& temp_path() const { return temp_path_; }
  // Flushes, syncs, closes and renames; false with *error set on any failure
  // (the target then stays as it was).
  bool Commit(std::string* error);
  // Removes the temporary file.
  void Discard();

 private:
  std::string name_;  // as the user gave it, for messages
  std::string path_;
  std::string temp_path_;
  std::FILE* file_ = nullptr;
};

// Writes `text` to `path` through an AtomicFile.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);

}  // namespace lumaro::cli
