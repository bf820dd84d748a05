// Fakes for tapalign's session: a controller that answers blocks and queued
// touch packets and logs every request with its bytes, and a screen that
// records what is drawn.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "calibration-tool/calib_screen.h"
#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"

namespace lumaro::fakes {

struct Sent {
  unsigned long code;
  std::vector<std::uint8_t> bytes;  // the block as the driver saw it
};

class FakeController final : public DeviceIo {
 public:
  static constexpr int kFd = 5;
  std::map<unsigned long, ParamBlock> blocks;  // answers to the GET requests
  std::set<unsigned long> failing;
  std::deque<touch_packet::Block> packets;  // answers to GET_TOUCH_PACKET
  bool node_present = true;
  int open_result = kFd;
  std::vector<Sent> sent;  // every request but GET_TOUCH_PACKET
  int closes = 0;

  void QueuePacket(std::uint8_t type, int x, int y) {
    touch_packet::Block p{};
    touch_packet::SetType(p, type);
    touch_packet::SetX(p, static_cast<std::int16_t>(x));
    touch_packet::SetY(p, static_cast<std::int16_t>(y));
    packets.push_back(p);
  }
  std::vector<unsigned long> Codes() const {
    std::vector<unsigned long> codes;
    for (const Sent& s : sent) codes.push_back(s.code);
    return codes;
  }

  int Open(const char*, int) override {
    if (open_result < 0) errno = ENOENT;
    return open_result;
  }
  int Close(int) override { return ++closes, 0; }
  ssize_t Read(int, void*, std::size_t) override { return -1; }
  ssize_t Write(int, const void*, std::size_t) override { return -1; }
  int Access(const char*, int) override { return node_present ? 0 : -1; }
  int Ioctl(int, unsigned long code, void* block) override {
    const RequestInfo* info = FindTouchRequest(code);
    const std::size_t size = info != nullptr ? info->size : 0;
    if (code == GET_TOUCH_PACKET) {
      if (packets.empty() || failing.count(code) != 0) return errno = EAGAIN, -1;
      std::memcpy(block, packets.front().data(), size);
      packets.pop_front();
      return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    sent.push_back({code, std::vector<std::uint8_t>(bytes, bytes + size)});
    if (failing.count(code) != 0) return errno = EIO, -1;
    if (info != nullptr && info->direction == Direction::kOut && blocks.count(code) != 0) {
      std::memcpy(block, blocks[code].data(), size);
    }
    return 0;
  }
};

class FakeScreen final : public CalibScreen {
 public:
  std::vector<PixelPoint> crosshairs;
  std::vector<int> buttons;  // the pressed button of each DrawButtons
  std::optional<std::int32_t> last_counter;
  bool pointer_shown = false;

  void DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) override {
    crosshairs.push_back(at);
    last_counter = counter;
  }
  void DrawButtons(int pressed, std::optional<std::int32_t> counter) override {
    buttons.push_back(pressed);
    last_counter = counter;
  }
  void Clear() override {}
  void ShowPointer() override { pointer_shown = true; }
  void HidePointer() override { pointer_shown = false; }
};

}  // namespace lumaro::fakes
