#include "driver-interface/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace lumaro {

int SystemDeviceIo::Open(const char* path, int flags) {
  return ::open(path, flags);
}
int SystemDeviceIo::Close(int fd) {
  return ::close(fd);
}
ssize_t SystemDeviceIo::Read(int fd, void* buffer, std::size_t count) {
  return ::read(fd, buffer, count);
}
ssize_t SystemDeviceIo::Write(int fd, const void* buffer, std::size_t count) {
  return ::write(fd, buffer, count);
}
int SystemDeviceIo::Ioctl(int fd, unsigned long request, void* block) {
  return ::ioctl(fd, request, block);
}
int SystemDeviceIo::Access(const char* path, int mode) {
  return ::access(path, mode);
}

}  // namespace lumaro
