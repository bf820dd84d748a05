// A scripted DeviceIo: opens and reads consume a script of steps in order,
// requests answer from per-code blocks, and every call is logged. Failures
// set errno as the system calls do.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver-interface/device_io.h"

namespace lumaro::fakes {

class FakeDeviceIo final : public DeviceIo {
 public:
  static constexpr int kFd = 3;

  void ExpectOpen(int result = kFd, int error = 0) { steps_.push_back({true, result, error, {}}); }
  void ExpectFrame(std::vector<std::uint8_t> bytes) {
    const auto n = static_cast<ssize_t>(bytes.size());
    steps_.push_back({false, n, 0, std::move(bytes)});
  }
  void ExpectReadFailure(ssize_t result, int error) {
    steps_.push_back({false, result, error, {}});
  }
  bool HasSteps() const { return !steps_.empty(); }

  void SetBlock(unsigned long code, std::vector<std::uint8_t> bytes) { blocks_[code] = bytes; }
  void FailRequest(unsigned long code) { failing_.insert(code); }

  // Runs at the start of every Read.
  std::function<void()> on_read;
  const std::vector<std::string>& calls() const { return calls_; }  // "open", "close 3", ...
  const std::vector<unsigned long>& requests() const { return requests_; }
  const std::vector<std::vector<std::uint8_t>>& writes() const { return writes_; }

  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  int Ioctl(int fd, unsigned long request, void* block) override;
  int Access(const char* /*path*/, int /*mode*/) override { return 0; }

 private:
  struct Step {
    bool is_open;
    ssize_t result;
    int error;
    std::vector<std::uint8_t> bytes;
  };
  // The next step if it is of the kind asked for; a test failure otherwise.
  bool Next(bool is_open, Step& step);

  std::deque<Step> steps_;
  std::map<unsigned long, std::vector<std::uint8_t>> blocks_;
  std::set<unsigned long> failing_;
  std::vector<std::string> calls_;
  std::vector<unsigned long> requests_;
  std::vector<std::vector<std::uint8_t>> writes_;
};

}  // namespace lumaro::fakes
