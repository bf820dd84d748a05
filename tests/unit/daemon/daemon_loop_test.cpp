#include "touch-daemon/daemon_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/captured_output.h"
#include "tools/trace_device_io.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

using test_support::CapturedOutput;
using ::testing::ElementsAre;

constexpr char kIdentity[] = "ProductID=0xc20 pos=5, ProductSeries=3, size=65inch";
constexpr char kInitEnd[] = "KixUSBInitCore_0x0c20 init end";
constexpr char kHaveInit[] = "touch have init";
// pos 5, a 1000 x 1000 device; series 3, size "65inch".
constexpr char kIdentityRecords[] =
    "lumaro-trace 1\nproduct 0x0c20\n"
    "block 240 0500e8030000e8030000000000000000000000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000000\n"
    "block 201 000300000000003635696e6368000000000000000000000000000000\n";

// The simulator's controller playing a trace, seen through a descriptor of
// the test's choice; the first opens fail with the given errnos.
class TracedDevice final : public DeviceIo {
 public:
  TracedDevice(const std::string& records, std::vector<int> open_errors = {}, int fd = 3)
      : open_errors_(std::move(open_errors)), fd_(fd) {
    std::string error;
    EXPECT_TRUE(trace::ParseTrace(kIdentityRecords + records, &trace_, &error)) << error;
  }
  bool exhausted() const { return io_.exhausted(); }
  std::function<void()> on_read = [] {};

  int Open(const char* path, int flags) override {
    if (opens_ < open_errors_.size()) return errno = open_errors_[opens_++], -1;
    return io_.Open(path, flags) < 0 ? -1 : fd_;
  }
  int Close(int) override { return io_.Close(3); }
  ssize_t Read(int, void* buffer, std::size_t count) override {
    on_read();
    return io_.Read(3, buffer, count);
  }
  ssize_t Write(int, const void* buffer, std::size_t count) override {
    return io_.Write(3, buffer, count);
  }
  int Ioctl(int, unsigned long request, void* block) override {
    return io_.Ioctl(3, request, block);
  }
  int Access(const char* path, int mode) override { return io_.Access(path, mode); }

 private:
  trace::Trace trace_;
  tools::TraceDeviceIo io_{&trace_, nullptr};
  std::vector<int> open_errors_;
  std::size_t opens_ = 0;
  int fd_;
};

struct LoopRun {
  CapturedOutput out;
  DiagnosticSink log{out.file()};
  std::vector<unsigned int> sleeps;

  std::vector<std::string> Run(TracedDevice& io, PointAllocator allocator) {
    DaemonLoop loop(io, log,
                    LoopHooks{[this](unsigned int s) { sleeps.push_back(s); },
                              [&io] { return !io.exhausted(); }},
                    std::move(allocator));
    loop.Run();
    return out.Lines();
  }
};

TEST(DaemonLoopTest, OpenFailureRetriesEveryTwoSeconds) {
  TracedDevice io("", {ENOENT, EACCES}, 0);  // descriptor 0 is a valid descriptor
  LoopRun run;
  EXPECT_THAT(run.Run(io, DefaultPointAllocator()),
              ElementsAre("process enter", "open touch error", "open touch error",
                          "open touch success", kIdentity, kInitEnd));
  EXPECT_THAT(run.sleeps, ElementsAre(2u, 2u));
}

// Allocation that fails on the given calls (1-based), counting live arrays.
struct FlakyAllocator {
  std::vector<int> failing_calls;
  int calls = 0;
  int live = 0;

  PointAllocator Make() {
    return {[this](std::size_t n) -> TouchPoint* {
              ++calls;
              for (int c : failing_calls) {
                if (c == calls) return nullptr;
              }
              ++live;
              return new TouchPoint[n]();
            },
            [this](TouchPoint* p) {
              --live;
              delete[] p;
            }};
  }
};

TEST(DaemonLoopTest, FailedAllocationLeavesNoArraysUntilALaterInit) {
  FlakyAllocator allocator{{1, 3}};  // pLastPoint fails, then pPoints
  TracedDevice io("frame a100010100\nframe a100010100\nreaderr 5\n");
  std::vector<int> live_at_read;
  LoopRun run;
  io.on_read = [&] { live_at_read.push_back(allocator.live); };
  const std::vector<std::string> lines = run.Run(io, allocator.Make());
  ASSERT_GE(lines.size(), 14u);
  EXPECT_THAT(
      std::vector<std::string>(lines.begin(), lines.begin() + 14),
      ElementsAre("process enter", "open touch success", kIdentity,
                  "pLastPoint memory: allocate failed.", kInitEnd, kIdentity, kHaveInit,
                  "pPoints memory: allocate failed.", kInitEnd, kIdentity, kHaveInit, kInitEnd,
                  "KixUSBDeviceReleaseHardware--", "read error -1 :Input/output error"));
  ASSERT_GE(live_at_read.size(), 3u);
  EXPECT_THAT(std::vector<int>(live_at_read.begin(), live_at_read.begin() + 3),
              ElementsAre(0, 0, 2));  // arrays held at each read
  EXPECT_EQ(allocator.live, 0);       // nothing leaked; the session end freed both
}

}  // namespace
}  // namespace lumaro
