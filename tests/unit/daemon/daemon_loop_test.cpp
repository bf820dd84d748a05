#include "touch-daemon/daemon_loop.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver-interface/byte_fields.h"
#include "driver-interface/requests.h"
#include "tests/unit/captured_output.h"
#include "tests/unit/daemon/fake_device_io.h"

namespace lumaro {
namespace {

using fakes::FakeDeviceIo;
using test_support::CapturedOutput;
using ::testing::ElementsAre;

constexpr char kIdentity[] = "ProductID=0xc20 pos=5, ProductSeries=3, size=65inch";
constexpr char kInitEnd[] = "KixUSBInitCore_0x0c20 init end";
constexpr char kHaveInit[] = "touch have init";

std::vector<std::uint8_t> Frame(std::uint8_t marker) {
  return {marker, 0, 1, 1, 0};
}

class DaemonLoopTest : public ::testing::Test {
 protected:
  DaemonLoopTest() { SetProduct(kCameraProductId); }

  void SetProduct(std::uint32_t id) {
    ProductIdBlock product{};
    product_id::SetValue(product, id);
    io_.SetBlock(GET_PRODUCT_ID, {product.begin(), product.end()});
    ParamBlock geometry{};
    geometry[0] = 5;                       // pos
    Put<std::int32_t, 2>(geometry, 1000);  // DeviceWidth
    Put<std::int32_t, 6>(geometry, 1000);  // DeviceHeight
    io_.SetBlock(GET_GEOMETRY, {geometry.begin(), geometry.end()});
    DeviceInfoBlock info{};
    info[1] = 3;  // ProductSeries
    std::memcpy(info.data() + device_info::kSizeOffset, "65inch", 7);
    io_.SetBlock(GET_DEVICE_INFO, {info.begin(), info.end()});
  }

  DaemonLoop& Start(PointAllocator allocator = DefaultPointAllocator()) {
    loop_ = std::make_unique<DaemonLoop>(io_, log_,
                                         LoopHooks{[this](unsigned int s) { sleeps_.push_back(s); },
                                                   [this] { return io_.HasSteps(); }},
                                         std::move(allocator));
    return *loop_;
  }

  std::vector<std::string> Run() {
    if (!loop_) Start();
    loop_->Run();
    return out_.Lines();
  }

  DeviceContext& ctx() { return loop_->context(); }

  FakeDeviceIo io_;
  CapturedOutput out_;
  DiagnosticSink log_{out_.file()};
  std::vector<unsigned int> sleeps_;
  std::unique_ptr<DaemonLoop> loop_;
};

TEST_F(DaemonLoopTest, OpenFailureRetriesEveryTwoSeconds) {
  io_.ExpectOpen(-1, ENOENT);
  io_.ExpectOpen(-1, EACCES);
  io_.ExpectOpen(0);  // descriptor 0 is a valid descriptor
  EXPECT_THAT(Run(), ElementsAre("process enter", "open touch error", "open touch error",
                                 "open touch success", kIdentity, kInitEnd));
  EXPECT_THAT(sleeps_, ElementsAre(2u, 2u));
  EXPECT_EQ(ctx().fd, 0);
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

TEST_F(DaemonLoopTest, FailedAllocationLeavesNoArraysUntilALaterInit) {
  FlakyAllocator allocator{{1, 3}};  // pLastPoint fails, then pPoints
  io_.ExpectOpen();
  io_.ExpectFrame(Frame(kReinitFrameMarker));
  io_.ExpectFrame(Frame(kReinitFrameMarker));
  io_.ExpectReadFailure(-1, EIO);
  Start(allocator.Make());
  std::vector<int> live_at_read;
  io_.on_read = [&] { live_at_read.push_back(HasPointArrays(ctx()) ? allocator.live : -1); };
  EXPECT_THAT(Run(), ElementsAre("process enter", "open touch success", kIdentity,
                                 "pLastPoint memory: allocate failed.", kInitEnd, kIdentity,
                                 kHaveInit, "pPoints memory: allocate failed.", kInitEnd, kIdentity,
                                 kHaveInit, kInitEnd, "KixUSBDeviceReleaseHardware--",
                                 "read error -1 :Input/output error"));
  EXPECT_THAT(live_at_read, ElementsAre(-1, -1, 2));
  EXPECT_EQ(allocator.live, 0);  // nothing leaked; the session end freed both
  EXPECT_EQ(allocator.calls, 5);
}

TEST(DiagnosticSinkTest, EachLineReachesAPipeAtOnce) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* out = fdopen(fds[1], "w");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(setvbuf(out, nullptr, _IOFBF, 4096), 0);
  DiagnosticSink sink(out);
  sink.Line("read error %d :%s", -1, "Input/output error");
  ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  char buffer[64] = {};
  const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
  EXPECT_STREQ(buffer, "read error -1 :Input/output error\n");
  EXPECT_GT(n, 0);
  (void)std::fclose(out);
  close(fds[0]);
}

}  // namespace
}  // namespace lumaro
