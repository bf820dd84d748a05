#include "tests/unit/daemon/fake_device_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "driver-interface/requests.h"

namespace lumaro::fakes {

bool FakeDeviceIo::Next(bool is_open, Step& step) {
  if (steps_.empty() || steps_.front().is_open != is_open) {
    ADD_FAILURE() << "unscripted " << (is_open ? "open" : "read");
    errno = EIO;
    return false;
  }
  step = std::move(steps_.front());
  steps_.pop_front();
  if (step.result < 0) errno = step.error;
  return true;
}

int FakeDeviceIo::Open(const char* path, int /*flags*/) {
  calls_.push_back("open");
  EXPECT_STREQ(path, kTouchNodePath);
  Step step;
  return Next(true, step) ? static_cast<int>(step.result) : -1;
}

int FakeDeviceIo::Close(int fd) {
  calls_.push_back("close " + std::to_string(fd));
  return 0;
}

ssize_t FakeDeviceIo::Read(int /*fd*/, void* buffer, std::size_t count) {
  calls_.push_back("read");
  if (on_read) on_read();
  Step step;
  if (!Next(false, step)) return -1;
  if (!step.bytes.empty())
    std::memcpy(buffer, step.bytes.data(), std::min(count, step.bytes.size()));
  return step.result;
}

ssize_t FakeDeviceIo::Write(int /*fd*/, const void* buffer, std::size_t count) {
  calls_.push_back("write " + std::to_string(count));
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  writes_.emplace_back(bytes, bytes + count);
  return static_cast<ssize_t>(count);
}

int FakeDeviceIo::Ioctl(int /*fd*/, unsigned long request, void* block) {
  calls_.push_back("ioctl " + std::to_string(request));
  requests_.push_back(request);
  if (failing_.count(request) != 0) {
    errno = EIO;
    return -1;
  }
  const RequestInfo* info = FindTouchRequest(request);
  const auto it = blocks_.find(request);
  if (info != nullptr && it != blocks_.end()) {
    std::memcpy(block, it->second.data(), std::min(info->size, it->second.size()));
  }
  return 0;
}

}  // namespace lumaro::fakes
