// The monitor's view of the device, and the stream a reader receives.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "driver-interface/requests.h"
#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/monitored_io.h"
#include "touch-daemon/monitor/stream_server.h"

namespace lumaro::monitor {
namespace {

// A device whose opens, reads and failing requests are scripted; requests
// that succeed fill their block with block_fill.
class ScriptedDevice final : public DeviceIo {
 public:
  struct ReadResult {
    ssize_t result;
    int error;
    std::vector<std::uint8_t> bytes;
  };
  std::deque<bool> opens;
  std::deque<ReadResult> reads;
  unsigned long failing = 0;
  std::uint8_t block_fill = 0x11;

  int Open(const char*, int) override {
    const bool ok = opens.front();
    opens.pop_front();
    return ok ? 3 : -1;
  }
  int Close(int) override { return 0; }
  ssize_t Read(int, void* buffer, std::size_t) override {
    const ReadResult r = reads.front();
    reads.pop_front();
    if (!r.bytes.empty()) std::memcpy(buffer, r.bytes.data(), r.bytes.size());
    errno = r.error;
    return r.result;
  }
  ssize_t Write(int, const void*, std::size_t count) override {
    return static_cast<ssize_t>(count);
  }
  int Ioctl(int, unsigned long request, void* block) override {
    if (request == failing) return -1;
    const std::uint8_t id[4] = {0x20, 0x0c, 0, 0};
    if (request == GET_PRODUCT_ID) std::memcpy(block, id, 4);
    if (request != GET_PRODUCT_ID) std::memset(block, block_fill, FindTouchRequest(request)->size);
    return 0;
  }
  int Access(const char*, int) override { return 0; }
};

ScriptedDevice::ReadResult Frame(std::vector<std::uint8_t> bytes) {
  return {static_cast<ssize_t>(bytes.size()), 0, std::move(bytes)};
}

// The ring's entries as trace lines.
std::vector<std::string> Lines(const HistoryRing& ring) {
  std::vector<std::string> lines;
  Entry entry;
  std::uint64_t pos = ring.tail();
  std::uint64_t next = 0;
  while (ring.Read(pos, &entry, &next) == HistoryRing::ReadResult::kOk) {
    lines.push_back(EntryLine(entry));
    pos = next;
  }
  return lines;
}

// What the daemon loop does: open, identify, read, write.
void Identify(DeviceIo& io) {
  std::uint8_t block[kParamBlockSize];
  for (unsigned long code : {GET_PRODUCT_ID, GET_CALIB_PARA_X, GET_DEVICE_INFO}) {
    io.Ioctl(3, code, block);
  }
}

TEST(MonitoredIo, PublishesInTheOrderAReplayNeeds) {
  ScriptedDevice device;
  HistoryRing ring(0);
  MonitoredIo io(device, ring);
  device.reads = {
      Frame({0xa0, 0, 1, 1, 0}), {-1, ETIMEDOUT, {}},
      Frame({0xa1, 0, 1, 1, 1}),                    // asks for identification
      {-1, EPROTO, {}},                             // ends the session; the node opens again
      Frame({0, 0, 1, 1, 0}),    {-1, ENODEV, {}},  // ends the session; the node is gone twice
      Frame({0, 0, 1, 1, 1}),
  };
  device.opens = {true, true, false, false, true};
  std::uint8_t buffer[kFrameBufferSize];
  std::uint8_t report[12] = {0, 1, 2};

  ASSERT_EQ(io.Open(kTouchNodePath, O_RDWR), 3);
  Identify(io);
  io.Read(3, buffer, sizeof buffer);
  io.Write(3, report, sizeof report);
  EXPECT_EQ(io.Read(3, buffer, sizeof buffer), -1);
  EXPECT_EQ(errno, ETIMEDOUT);  // passed on untouched
  io.Read(3, buffer, sizeof buffer);
  device.failing = GET_DEVICE_INFO;
  device.block_fill = 0x22;
  Identify(io);
  io.Write(3, report, sizeof report);
  io.Read(3, buffer, sizeof buffer);
  io.Close(3);
  ASSERT_EQ(io.Open(kTouchNodePath, O_RDWR), 3);
  io.Read(3, buffer, sizeof buffer);
  io.Read(3, buffer, sizeof buffer);
  io.Close(3);
  EXPECT_EQ(io.Open(kTouchNodePath, O_RDWR), -1);
  EXPECT_EQ(io.Open(kTouchNodePath, O_RDWR), -1);
  ASSERT_EQ(io.Open(kTouchNodePath, O_RDWR), 3);
  io.Read(3, buffer, sizeof buffer);

  const std::string b11(2 * kParamBlockSize, '1');
  const std::string b22(2 * kParamBlockSize, '2');
  const std::vector<std::string> expected = {
      "product 0x0c20",
      "block 195 " + b11,
      "block 201 " + std::string(2 * kDeviceInfoSize, '1'),
      "frame a000010100",
      "report 000102000000000000000000",
      "readerr 110",
      // The re-identification above the frame that asked for it.
      "product 0x0c20",
      "block 195 " + b22,
      "failonce 201",
      "frame a100010101",
      "report 000102000000000000000000",
      // The session's end, told at the reopen.
      "readerr 71",
      "frame 0000010100",
      "unplug",
      "plug",
      "frame 0000010101",
  };
  EXPECT_EQ(Lines(ring), expected);
}

// A reader of a real socket: connects, sends request, and returns the
// stream up to the first `until` (or all of it when the daemon hangs up).
std::string ReadStream(const std::string& path, const std::string& request,
                       const std::string& until) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return "";
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  (void)send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string text;
  char buffer[4096];
  while (text.find(until) == std::string::npos) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const std::size_t end = text.find(until);
  return end == std::string::npos ? text : text.substr(0, end + until.size());
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
  EXPECT_EQ(ReadStream(path_, "last 200\n", "0101\nframe 0000010100\nframe 0000010101\n"),
            "lumaro-trace 1\nproduct 0x0c20\n" + a + "frame 0000010100\nframe 0000010101\n" + b +
                "frame 0000010101\nframe 0000010100\nframe 0000010101\n");
  // The last ten seconds: the second identity, from the first half-frame,
  // to where the history ends.
  EXPECT_EQ(ReadStream(path_, "last 10\n", "# live from here\n"),
            "lumaro-trace 1\nproduct 0x0c20\n" + b +
                "frame 0000010100\nframe 0000010101\n# live from here\n");
  // Live: the identity now, then the first scan that begins.
  const std::string live_expected =
      "lumaro-trace 1\nproduct 0x0c20\n" + b + "# live from here\nframe 0000010100\n";
  std::string live;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    live = ReadStream(path_, "live\n", "frame 0000010100\n");
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
  EXPECT_EQ(ReadStream(path_, "bogus\n", "\n").rfind("error ", 0), 0u);
}

}  // namespace
}  // namespace lumaro::monitor
