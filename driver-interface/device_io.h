// The one door to a device node: a thin wrapper over open, close, read,
// write, ioctl and access. Programs take a DeviceIo& so that their logic runs
// against a fake in unit tests and against the real node (or the simulator)
// otherwise. Results and errno follow the POSIX calls exactly.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumaro {

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;
  virtual int Open(const char* path, int flags) = 0;
  virtual int Close(int fd) = 0;
  virtual ssize_t Read(int fd, void* buffer, std::size_t count) = 0;
  virtual ssize_t Write(int fd, const void* buffer, std::size_t count) = 0;
  // One driver request: a plain request code and the address of its block.
  virtual int Ioctl(int fd, unsigned long request, void* block) = 0;
  virtual int Access(const char* path, int mode) = 0;

  // A request whose block is a fixed-size byte array.
  template <std::size_t N>
  int Request(int fd, unsigned long request, std::array<std::uint8_t, N>& block) {
    return Ioctl(fd, request, block.data());
  }
};

// The real system calls.
class SystemDeviceIo final : public DeviceIo {
 public:
  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  int Ioctl(int fd, unsigned long request, void* block) override;
  int Access(const char* path, int mode) override;
};

}  // namespace lumaro
