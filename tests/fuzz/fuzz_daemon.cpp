// Fuzzes everything the daemon takes from the device: identification
// blocks, frames of any length and content, read failures and failing
// requests, through the daemon's own loop, set-up, intake, engine, filters
// and report writer. The input (fuzz-seed makes it from traces):
//   byte 0          product selector (even: the camera controller 0x0c20)
//   then            the six camera blocks of kParamBlockSize bytes, in the
//                   order of kCameraBlockRequests
//   then records:   one byte kind, then
//                     kind % 4 == 0: a frame: two length bytes (LE, 1..2048), the bytes
//                     kind % 4 == 1: a failed read: one errno byte
//                     kind % 4 == 2: a read of 0 bytes
//                     kind % 4 == 3: a failing request: one byte picks the request
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"

namespace {

constexpr std::size_t kHeaderSize =
    1 + lumaro::kCameraBlockRequests.size() * lumaro::kParamBlockSize;

class FuzzDevice final : public lumaro::DeviceIo {
 public:
  FuzzDevice(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
    product_ = data[0] % 2 == 0 ? lumaro::kCameraProductId : 0x0a10u + data[0];
    pos_ = kHeaderSize;
  }
  bool More() const { return pos_ < size_; }

  int Open(const char*, int) override { return 3; }
  int Close(int) override { return 0; }
  ssize_t Read(int, void* buffer, std::size_t count) override {
    if (pos_ >= size_) return Fail(ETIMEDOUT);
    const std::uint8_t kind = data_[pos_++];
    switch (kind % 4) {
      case 0: {
        if (size_ - pos_ < 2) return Fail(ETIMEDOUT);
        std::size_t n = (data_[pos_] | (data_[pos_ + 1] << 8)) % count + 1;
        pos_ += 2;
        n = std::min(n, size_ - pos_);
        if (n == 0) return Fail(ETIMEDOUT);
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
      }
      case 1:
        return Fail(pos_ < size_ ? data_[pos_++] : EIO);
      case 2:
        return 0;
      default:
        // One request made to fail from here on, or none.
        if (pos_ < size_) {
          const auto requests = lumaro::TouchRequests();
          const std::size_t pick = data_[pos_++] % (requests.size() + 1);
          failing_ = pick < requests.size() ? requests[pick].code : 0;
        }
        return Fail(ETIMEDOUT);
    }
  }
  ssize_t Write(int, const void*, std::size_t count) override {
    return static_cast<ssize_t>(count);
  }
  int Ioctl(int, unsigned long request, void* block) override {
    if (request == failing_) return Fail(EIO);
    if (request == lumaro::GET_PRODUCT_ID) {
      std::uint8_t* out = static_cast<std::uint8_t*>(block);
      for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(product_ >> (8 * i));
      return 0;
    }
    for (std::size_t i = 0; i < lumaro::kCameraBlockRequests.size(); ++i) {
      if (request == lumaro::kCameraBlockRequests[i]) {
        std::memcpy(block, data_ + 1 + lumaro::kParamBlockSize * i, lumaro::kParamBlockSize);
        return 0;
      }
    }
    if (request == lumaro::GET_DEVICE_INFO) {
      std::memset(block, 'x', lumaro::kDeviceInfoSize);  // a size text without its NUL
      return 0;
    }
    return Fail(ENOTTY);
  }
  int Access(const char*, int) override { return 0; }

 private:
  static int Fail(int error) {
    errno = error;
    return -1;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_;
  std::uint32_t product_;
  unsigned long failing_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  FuzzDevice device(data, size);
  lumaro::DiagnosticSink quiet(nullptr);
  // Every frame's result holds what was built: a lost report, a report whose
  // records do not carry slots 0 and 1, or a scan without its stages is a
  // fault.
  auto check = [](const lumaro::FrameResult& result) {
    if (result.reports_lost != 0 || result.has_stages != result.scanned) std::abort();
    for (const lumaro::ReportBytes& report : result.Reports()) {
      lumaro::report::Contact contact{};
      for (std::size_t i = 0; i < 2; ++i) {
        if (!lumaro::report::ReadContact(report, i, &contact) || contact.slot != i) std::abort();
      }
    }
  };
  lumaro::DaemonLoop loop(device, quiet,
                          lumaro::LoopHooks{.sleep = [](unsigned) {},
                                            .keep_running = [&device] { return device.More(); },
                                            .on_frame = check,
                                            .with_stages = true});
  loop.Run();
  return 0;
}
