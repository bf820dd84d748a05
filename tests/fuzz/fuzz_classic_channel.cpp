// Fuzzes the classic tool's command channel from the driver's side: every
// request result, reply byte count and reply byte comes from the input, while
// the tool reads the whole configuration (main record, unit list, units) and
// replaces the main record as Ok does, restoring the old one when refused.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "classic-calibration-tool/command_channel.h"
#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"

namespace {

class FuzzClassicDriver final : public lumaro::DeviceIo {
 public:
  FuzzClassicDriver(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  int Open(const char*, int) override { return 3; }
  int Close(int) override { return 0; }
  ssize_t Read(int, void*, std::size_t) override { return -1; }
  ssize_t Write(int, const void*, std::size_t) override { return -1; }
  int Access(const char*, int) override { return 0; }
  int Ioctl(int, unsigned long request, void* block) override {
    const std::uint8_t choice = Next();
    if (request == lumaro::CLASSIC_CMD_READ) {
      // A reply of any length the driver claims, with any bytes in it.
      auto* reply = static_cast<std::uint8_t*>(block);
      const std::size_t n = std::min<std::size_t>(Next() % 65, lumaro::kClassicReplySize);
      for (std::size_t i = 0; i < n; ++i) reply[i] = Next();
      if (choice % 8 == 0) return -1;
      return choice % 4 == 0 ? static_cast<int>(Next()) : static_cast<int>(n);
    }
    if (choice % 16 == 0) {
      errno = EIO;
      return -1;
    }
    return 0;
  }

 private:
  std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzClassicDriver driver(data, size);
  lumaro::ClassicChannel channel{driver, 3, [](std::uint32_t) {}};
  lumaro::ControllerConfig config{};
  lumaro::config_read(channel, config);
  lumaro::classic_record::Main fresh = config.main;
  lumaro::classic_record::SetCalibrated(fresh, 1);
  lumaro::main_record_replace(channel, fresh, config.main, config.main_read);
  return 0;
}
