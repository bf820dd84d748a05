// Fakes for tapalign-classic: a controller that answers the command channel
// from its stored 32-byte blocks and queued touch events, and a screen; both
// write what they do into one journal, so tests can check the order of
// requests and drawing.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "classic-calibration-tool/classic_flow.h"
#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"

namespace lumaro::fakes {

using Bytes = std::vector<std::uint8_t>;
using namespace classic_packet;

inline Reply MakeReply(std::uint8_t status, const Bytes& data = {}) {
  Reply r{};
  SetReplyStatus(r, status);
  SetDataLength(r, static_cast<std::uint8_t>(data.size()));
  std::copy(data.begin(), data.end(), r.begin() + kReplyDataOffset);
  return r;
}

class FakeClassic final : public DeviceIo {
 public:
  static constexpr int kFd = 9;
  std::map<std::pair<int, int>, Block32> blocks;  // by (target, block number)
  std::set<std::pair<int, int>> unreadable;       // block reads answered with a failure status
  std::size_t units = 0;                          // data bytes of the unit-list reply
  std::deque<Reply> forced;                       // answers the next commands instead
  std::set<unsigned long> failing;                // requests that return -1
  std::deque<classic_event::Block> events;
  std::vector<Bytes> commands;    // every packet written
  std::vector<Bytes> calib_sets;  // every CLASSIC_CALIB_SET block
  std::vector<std::uint64_t> lengths;
  std::vector<std::string>& journal;  // fixed requests by name
  int open_result = kFd;
  int closes = 0;

  explicit FakeClassic(std::vector<std::string>& j) : journal(j) {}

  void QueueEvent(std::uint8_t type, std::uint16_t x, std::uint16_t y) {
    classic_event::Block e{};
    classic_event::SetType(e, type);
    classic_event::SetX(e, x);
    classic_event::SetY(e, y);
    events.push_back(e);
  }

  int Open(const char*, int) override {
    if (open_result < 0) errno = ENOENT;
    return open_result;
  }
  int Close(int) override { return ++closes, 0; }
  ssize_t Read(int, void*, std::size_t) override { return -1; }
  ssize_t Write(int, const void*, std::size_t) override { return -1; }
  int Access(const char*, int) override { return 0; }
  int Ioctl(int, unsigned long code, void* block) override {
    auto* bytes = static_cast<std::uint8_t*>(block);
    const bool fail = failing.count(code) != 0;
    switch (code) {
      case CLASSIC_CMD_LENGTH:
        std::memcpy(length_.data(), bytes, length_.size());
        lengths.push_back(LengthValue(length_));
        return 0;
      case CLASSIC_CMD_WRITE:
        commands.emplace_back(bytes, bytes + LengthValue(length_));
        if (fail) return -1;
        reply_ = Answer(commands.back());
        return 0;
      case CLASSIC_CMD_READ:
        if (fail) return -1;
        std::memcpy(bytes, reply_.data(), reply_.size());
        return static_cast<int>(reply_.size());
      case CLASSIC_TOUCH_READ:
        if (events.empty() || fail) return errno = EAGAIN, -1;
        std::memcpy(bytes, events.front().data(), events.front().size());
        events.pop_front();
        return 0;
      default: {
        const RequestInfo* info = FindClassicRequest(code);
        journal.push_back(info != nullptr ? info->name : "?");
        if (code == CLASSIC_CALIB_SET) calib_sets.emplace_back(bytes, bytes + info->size);
        return fail ? -1 : 0;
      }
    }
  }

 private:
  // Checks the framing and checksum, then serves the command.
  Reply Answer(const Bytes& p) {
    if (!forced.empty()) {
      const Reply r = forced.front();
      forced.pop_front();
      return r;
    }
    if (p.size() < 6 || p[0] != kSync || p[4] + 6u != p.size()) return MakeReply(0);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i + 1 < p.size(); ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    if (sum != p.back()) return MakeReply(0);
    const int target = p[2];
    if (p[3] == kCmdBlock) {
      const int number = p[5] << 5 | p[6] << 13 | p[7];
      const auto key = std::make_pair(target, number);
      if (p[1] == kGroupWrite && p.size() == 42) {
        std::memcpy(blocks[key].data(), p.data() + 9, 32);
        return MakeReply(kReplyAck);
      }
      if (p[1] == kGroupRead && unreadable.count(key) == 0) {
        const Block32& b = blocks[key];
        return MakeReply(kReplyData, Bytes(b.begin(), b.end()));
      }
    } else if (p[3] == kCmdUnitList && p[1] == kGroupRead) {
      return MakeReply(kReplyData, Bytes(units, 0xEE));
    } else if (p[3] == kCmdPrepareWrite && p[1] == kGroupControl) {
      return MakeReply(kReplyAck);
    }
    return MakeReply(0);
  }

  Length length_{};
  Reply reply_{};
};

class FakeClassicScreen final : public ClassicScreen {
 public:
  explicit FakeClassicScreen(std::vector<std::string>& j) : journal(j) {}
  std::vector<std::string>& journal;
  void DrawCrosshair(PixelPoint at) override {
    journal.push_back("crosshair " + std::to_string(at.x) + " " + std::to_string(at.y));
  }
  void DrawButtons(int pressed) override {
    journal.push_back("buttons " + std::to_string(pressed));
  }
  void Clear() override { journal.push_back("clear"); }
  void ShowPointer() override { journal.push_back("pointer"); }
  void HidePointer() override { journal.push_back("blank"); }
  void Release() override { journal.push_back("release"); }
};

}  // namespace lumaro::fakes
