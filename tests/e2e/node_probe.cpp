// node-probe: a scripted client of /dev/lumaro for end-to-end tests of the
// simulator. Each argument is one step; each step prints one line.
//   open | open-wait | close | get CODE | set CODE HEX | read | write HEX | access
//   packet: request 192 (GET_TOUCH_PACKET)
//   mark | elapsed-min MS: whether at least MS milliseconds passed since the mark
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace {

void PrintResult(const char* what, long result, int error) {
  if (result < 0) {
    std::printf("%s %ld %s\n", what, result, std::strerror(error));
  } else {
    std::printf("%s %ld\n", what, result);
  }
}

}  // namespace

int main(int argc, char** argv) {
  lumaro::SystemDeviceIo io;
  int fd = -1;
  std::array<std::uint8_t, lumaro::kFrameBufferSize> buffer{};
  auto mark = std::chrono::steady_clock::now();
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (step == "open") {
      fd = io.Open(lumaro::kTouchNodePath, O_RDWR);
      PrintResult("open", fd < 0 ? -1 : 0, errno);
    } else if (step == "open-wait") {
      // Retries until the node is back, for at most 20 seconds.
      for (int tries = 0; tries < 400; ++tries) {
        fd = io.Open(lumaro::kTouchNodePath, O_RDWR);
        if (fd >= 0) break;
        usleep(50 * 1000);
      }
      PrintResult("open-wait", fd < 0 ? -1 : 0, errno);
    } else if (step == "close") {
      PrintResult("close", io.Close(fd), errno);
      fd = -1;
    } else if (step == "access") {
      PrintResult("access", io.Access(lumaro::kTouchNodePath, F_OK), errno);
    } else if (step == "get" || step == "set") {
      const unsigned long code = std::strtoul(next().c_str(), nullptr, 10);
      const lumaro::RequestInfo* info = lumaro::FindTouchRequest(code);
      std::vector<std::uint8_t> block(info != nullptr ? info->size : 64, 0);
      if (step == "set" && !lumaro::trace::FromHex(next(), &block)) {
        std::printf("bad hex\n");
        return 2;
      }
      const int result = io.Ioctl(fd, code, block.data());
      const int error = errno;
      if (result < 0) {
        PrintResult(step.c_str(), result, error);
      } else {
        std::printf("%s %d %s\n", step.c_str(), result,
                    lumaro::trace::ToHex(block.data(), block.size()).c_str());
      }
    } else if (step == "packet") {
      std::array<std::uint8_t, lumaro::kTouchPacketSize> packet{};
      const int result = io.Ioctl(fd, lumaro::GET_TOUCH_PACKET, packet.data());
      const int error = errno;
      if (result < 0) {
        PrintResult("packet", result, error);
      } else {
        std::printf("packet %d %s\n", result,
                    lumaro::trace::ToHex(packet.data(), packet.size()).c_str());
      }
    } else if (step == "mark") {
      mark = std::chrono::steady_clock::now();
      std::printf("mark\n");
    } else if (step == "elapsed-min") {
      const std::string text = next();
      char* end = nullptr;
      const long min_ms = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || min_ms < 0 || min_ms > 3'600'000) {
        std::printf("bad milliseconds '%s'\n", text.c_str());
        return 2;
      }
      const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - mark)
                               .count();
      if (elapsed >= min_ms * 1000) {
        std::printf("elapsed-min %ld ok\n", min_ms);
      } else {
        std::printf("elapsed-min %ld: only %.1f ms\n", min_ms, static_cast<double>(elapsed) / 1000);
      }
    } else if (step == "read") {
      const ssize_t n = io.Read(fd, buffer.data(), buffer.size());
      if (n < 0) {
        PrintResult("read", n, errno);
      } else {
        // The first 16 bytes show whether a short frame kept the rest.
        std::printf("read %zd %s\n", n, lumaro::trace::ToHex(buffer.data(), 16).c_str());
      }
    } else if (step == "write") {
      std::vector<std::uint8_t> bytes;
      lumaro::trace::FromHex(next(), &bytes);
      PrintResult("write", io.Write(fd, bytes.data(), bytes.size()), errno);
    } else {
      std::printf("unknown step %s\n", step.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
