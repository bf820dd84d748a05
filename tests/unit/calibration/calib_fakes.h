// For tapalign's tests: the simulator's camera controller behind the
// DeviceIo the tool talks through, with touch packets from the test's queue
// and every other request noted with its bytes; and a screen that records
// what is drawn.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "calibration-tool/calib_screen.h"
#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "simulator/camera_controller.h"
#include "trace/trace.h"

namespace lumaro::fakes {

struct Sent {
  unsigned long code;
  std::vector<std::uint8_t> bytes;  // the block as the driver saw it
};

class SimulatedCamera final : public DeviceIo {
 public:
  static constexpr int kFd = 0;  // descriptor 0 is as valid as any
  // `records`: the controller's trace records (blocks, `fail CODE` ...).
  explicit SimulatedCamera(const std::string& records = "") {
    std::string error;
    EXPECT_TRUE(trace::ParseTrace("lumaro-trace 1\n" + records, &trace_, &error)) << error;
    camera_.OnOpen();
  }
  std::set<unsigned long> failing;          // refused from now on, besides the trace's
  std::deque<touch_packet::Block> packets;  // answers to GET_TOUCH_PACKET
  bool node_present = true;
  bool open_fails = false;
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

  int Open(const char*, int) override { return open_fails ? (errno = ENOENT, -1) : kFd; }
  int Close(int) override { return ++closes, 0; }
  ssize_t Read(int, void*, std::size_t) override { return errno = EINVAL, -1; }
  ssize_t Write(int, const void*, std::size_t) override { return errno = EINVAL, -1; }
  int Access(const char*, int) override { return node_present ? 0 : (errno = ENOENT, -1); }
  int Ioctl(int, unsigned long code, void* block) override {
    auto* bytes = static_cast<std::uint8_t*>(block);
    const std::size_t size = sim::CameraController::RequestSize(code);
    if (code == GET_TOUCH_PACKET) {
      if (packets.empty()) return errno = EAGAIN, -1;
      std::memcpy(block, packets.front().data(), size);
      packets.pop_front();
      return 0;
    }
    sent.push_back({code, std::vector<std::uint8_t>(bytes, bytes + size)});
    if (failing.count(code) != 0) return errno = EIO, -1;
    const sim::RequestOutcome outcome = camera_.Request(code, {bytes, size});
    if (outcome.result < 0) errno = outcome.error;
    return outcome.result;
  }

 private:
  trace::Trace trace_;
  sim::SimLog log_{nullptr};
  sim::CameraController camera_{&trace_, &log_};
};

class FakeScreen final : public CalibrationScreen {
 public:
  std::vector<PixelPoint> crosshairs;
  std::vector<int> buttons;  // the pressed button of each DrawButtons
  std::optional<std::int32_t> last_counter;
  bool pointer_shown = false;
  std::vector<std::string> notes;

  void DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) override {
    crosshairs.push_back(at);
    last_counter = counter;
  }
  void DrawButtons(int pressed, std::optional<std::int32_t> counter) override {
    buttons.push_back(pressed);
    last_counter = counter;
  }
  void DrawNote(const std::string& text) override { notes.push_back(text); }
  void Clear() override {}
  void ShowPointer() override { pointer_shown = true; }
  void HidePointer() override { pointer_shown = false; }
  void Release() override {}
};

}  // namespace lumaro::fakes
