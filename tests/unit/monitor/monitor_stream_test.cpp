// The stream a reader of the monitor socket receives.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "driver-interface/requests.h"
#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/monitored_io.h"
#include "touch-daemon/monitor/stream_server.h"
#include "trace/monitor_client.h"

namespace lumaro::monitor {
namespace {

// A reader of the socket: sends request and returns the stream up to the
// first `until` (or all of it when the daemon hangs up), or the refusal.
std::string ReadStream(const std::string& path, const std::string& request,
                       const std::string& until) {
  using Client = trace::MonitorClient;
  Client client;
  std::string error, line, text;
  if (client.Connect(path, &error) != Client::ConnectResult::kConnected ||
      !client.Send(request, &error)) {
    return error;
  }
  while (!text.ends_with(until)) {
    const Client::LineResult got = client.NextLine(&line, 10000, &error);
    if (got == Client::LineResult::kError) return error;
    if (got != Client::LineResult::kLine) break;
    text += line + "\n";
  }
  return text;
}

class StreamServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/lumaro-monitor-test.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/monitor";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
  std::string path_;
};

// A reader that joins after the controller was identified twice gets, first
// of all, the identity in force where its stream starts, and its stream
// starts at a scan's first half-frame.
TEST_F(StreamServerTest, ReaderGetsTheIdentityInForceWhereItsStreamStarts) {
  HistoryRing ring(0);
  const std::uint64_t now = MonotonicNs();
  const std::uint64_t old = now - 100 * kNsPerSecond;
  const std::uint8_t first[5] = {0, 0, 1, 1, 0};
  const std::uint8_t second[5] = {0, 0, 1, 1, 1};
  const std::uint8_t block_a[kDeviceInfoSize] = {0xaa};
  const std::uint8_t block_b[kDeviceInfoSize] = {0xbb};
  ring.Publish(EntryKind::kProduct, 0x0c20, nullptr, 0, old);
  ring.Publish(EntryKind::kBlock, GET_DEVICE_INFO, block_a, sizeof block_a, old);
  ring.Publish(EntryKind::kFrame, 0, first, 5, old);
  ring.Publish(EntryKind::kFrame, 0, second, 5, old);
  ring.Publish(EntryKind::kBlock, GET_DEVICE_INFO, block_b, sizeof block_b, now - kNsPerSecond);
  ring.Publish(EntryKind::kFrame, 0, second, 5, now - kNsPerSecond);  // mid-scan
  ring.Publish(EntryKind::kFrame, 0, first, 5, now - kNsPerSecond);
  ring.Publish(EntryKind::kFrame, 0, second, 5, now - kNsPerSecond);

  std::string error;
  ServerOptions options;
  options.listen_fd = BindListenSocket(path_, static_cast<gid_t>(-1), &error);
  ASSERT_GE(options.listen_fd, 0) << error;
  options.log = nullptr;
  StreamServer server(ring, options);
  server.Start();

  const std::string a = "block 201 aa" + std::string(2 * kDeviceInfoSize - 2, '0') + "\n";
  const std::string b = "block 201 bb" + std::string(2 * kDeviceInfoSize - 2, '0') + "\n";
  // All of the history: the first identity, then everything.
  EXPECT_EQ(ReadStream(path_, "last 200", "0101\nframe 0000010100\nframe 0000010101\n"),
            "lumaro-trace 1\nproduct 0x0c20\n" + a + "frame 0000010100\nframe 0000010101\n" + b +
                "frame 0000010101\nframe 0000010100\nframe 0000010101\n");
  // The last ten seconds: the second identity, from the first half-frame,
  // to where the history ends.
  EXPECT_EQ(ReadStream(path_, "last 10", "# live from here\n"),
            "lumaro-trace 1\nproduct 0x0c20\n" + b +
                "frame 0000010100\nframe 0000010101\n# live from here\n");
  // Live: the identity now, then the first scan that begins.
  const std::string live_expected =
      "lumaro-trace 1\nproduct 0x0c20\n" + b + "# live from here\nframe 0000010100\n";
  std::string live;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    live = ReadStream(path_, "live", "frame 0000010100\n");
    done = true;
  });
  // Published until the reader has what it waits for: a second half-frame
  // first each time, which a reader joining there skips.
  for (int round = 0; !done && round < 500; ++round) {
    ring.Publish(EntryKind::kFrame, 0, second, 5, MonotonicNs());
    ring.Publish(EntryKind::kFrame, 0, first, 5, MonotonicNs());
    usleep(20000);
  }
  reader.join();
  EXPECT_EQ(live, live_expected);
  EXPECT_EQ(ReadStream(path_, "bogus", "\n").rfind("the daemon refused the stream: ", 0), 0u);
}

}  // namespace
}  // namespace lumaro::monitor
