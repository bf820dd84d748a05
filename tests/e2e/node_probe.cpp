// node-probe: a scripted client of /dev/LumaroClassic for end-to-end tests
// of the simulator. Each argument is one step; each step prints one line.
//   open: opens /dev/lumaro (both nodes are there)
//   classic-open
//   classic-cmd HEX: request 66 with the packet's length, then request 64
//   classic-read N: request 66 with N, then request 65 into a 64-byte buffer;
//     prints the result and the reply up to its checksum
//   classic-set CODE HEX: a fixed request with its in-block
#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
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

// Prints `what RESULT HEX` or `what -1 ERROR`.
void PrintBlock(const char* what, int result, int error, const std::uint8_t* bytes,
                std::size_t count) {
  if (result < 0) {
    PrintResult(what, result, error);
  } else {
    std::printf("%s %d %s\n", what, result, lumaro::trace::ToHex(bytes, count).c_str());
  }
}

int main(int argc, char** argv) {
  lumaro::SystemDeviceIo io;
  int classic_fd = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (step == "open") {
      const int fd = io.Open(lumaro::kTouchNodePath, O_RDWR);
      PrintResult(step.c_str(), fd < 0 ? -1 : 0, errno);
    } else if (step == "classic-open") {
      classic_fd = io.Open(lumaro::kClassicNodePath, O_RDWR);
      PrintResult(step.c_str(), classic_fd < 0 ? -1 : 0, errno);
    } else if (step == "classic-cmd") {
      std::vector<std::uint8_t> packet;
      if (!lumaro::trace::FromHex(next(), &packet) || packet.size() > 64) {
        std::printf("bad packet hex\n");
        return 2;
      }
      std::uint64_t length = packet.size();
      io.Ioctl(classic_fd, lumaro::CLASSIC_CMD_LENGTH, &length);
      const int result = io.Ioctl(classic_fd, lumaro::CLASSIC_CMD_WRITE, packet.data());
      PrintResult("classic-cmd", result, errno);
    } else if (step == "classic-read") {
      std::uint64_t length = std::strtoull(next().c_str(), nullptr, 10);
      std::array<std::uint8_t, lumaro::kClassicReplySize> reply{};
      io.Ioctl(classic_fd, lumaro::CLASSIC_CMD_LENGTH, &length);
      const int result = io.Ioctl(classic_fd, lumaro::CLASSIC_CMD_READ, reply.data());
      const int error = errno;
      // Status, data length, data and checksum; the rest is zeros.
      const std::size_t shown =
          std::min<std::size_t>(4 + std::min<std::size_t>(reply[2], 60), result < 0 ? 0 : result);
      PrintBlock("classic-read", result, error, reply.data(), shown);
    } else if (step == "classic-set") {
      const unsigned long code = std::strtoul(next().c_str(), nullptr, 10);
      std::vector<std::uint8_t> block;
      if (!lumaro::trace::FromHex(next(), &block)) {
        std::printf("bad hex\n");
        return 2;
      }
      // At least as long as the request's block, which the node reads whole.
      const lumaro::RequestInfo* info = lumaro::FindClassicRequest(code);
      block.resize(std::max(block.size(), info != nullptr ? info->size : 0));
      const int result = io.Ioctl(classic_fd, code, block.data());
      PrintResult("classic-set", result, errno);
    } else {
      std::printf("unknown step %s\n", step.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
