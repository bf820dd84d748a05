#include "touch-daemon/monitor/history_ring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "touch-daemon/monitor/request.h"

namespace lumaro::monitor {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

TEST(HistoryRing, KeepsTheNewestEntriesIntactAcrossTheWrap) {
  HistoryRing ring(64 * 1024);
  // Sizes that make entries straddle the end of the storage many times.
  std::vector<std::uint64_t> positions;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    const std::size_t size = 1 + (i * 37) % 300;
    positions.push_back(ring.head());
    ring.Publish(EntryKind::kFrame, i, Pattern(size, static_cast<std::uint8_t>(i)).data(), size, i);
  }
  EXPECT_LE(ring.head() - ring.tail(), ring.capacity());
  Entry entry;
  std::uint64_t next = 0;
  std::uint64_t pos = ring.tail();
  std::uint32_t expected = 0;
  while (positions[expected] != pos) ++expected;  // the oldest kept
  EXPECT_GT(expected, 0u);
  for (; expected < 3000; ++expected) {
    ASSERT_EQ(ring.Read(pos, &entry, &next), HistoryRing::ReadResult::kOk);
    const std::size_t size = 1 + (expected * 37) % 300;
    ASSERT_EQ(entry.value, expected);
    ASSERT_EQ(entry.time_ns, expected);
    ASSERT_EQ(entry.size, size);
    ASSERT_EQ(std::vector<std::uint8_t>(entry.bytes.begin(), entry.bytes.begin() + size),
              Pattern(size, static_cast<std::uint8_t>(expected)));
    pos = next;
  }
  EXPECT_EQ(ring.Read(pos, &entry, &next), HistoryRing::ReadResult::kNotYet);
  // The first entry was overwritten long ago.
  EXPECT_EQ(ring.Read(positions[0], &entry, &next), HistoryRing::ReadResult::kLost);
}

// A reader chasing the publisher never gets a torn entry: each one it is
// given whole carries its own sequence number in every byte.
TEST(HistoryRing, ReaderOnAnotherThreadSeesWholeEntriesOrLoss) {
  HistoryRing ring(64 * 1024);
  constexpr std::uint32_t kEntries = 200000;
  std::thread publisher([&] {
    std::vector<std::uint8_t> bytes(200);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
      std::fill(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(i));
      ring.Publish(EntryKind::kFrame, i, bytes.data(), 50 + i % 150, i);
    }
  });
  Entry entry;
  std::uint64_t pos = 0;
  std::uint64_t next = 0;
  std::uint32_t last = 0;
  std::uint64_t seen = 0;
  std::uint64_t losses = 0;
  while (last + 1 < kEntries) {
    const HistoryRing::ReadResult result = ring.Read(pos, &entry, &next);
    if (result == HistoryRing::ReadResult::kNotYet) continue;
    if (result == HistoryRing::ReadResult::kLost) {
      ++losses;
      pos = ring.tail();
      continue;
    }
    ASSERT_EQ(entry.size, 50 + entry.value % 150);
    for (std::size_t i = 0; i < entry.size; ++i) {
      ASSERT_EQ(entry.bytes[i], static_cast<std::uint8_t>(entry.value)) << "torn entry";
    }
    if (seen > 0 && losses == 0) {
      ASSERT_EQ(entry.value, last + 1);
    }
    last = entry.value;
    ++seen;
    pos = next;
  }
  publisher.join();
  EXPECT_GT(seen, 0u);
}

TEST(Request, AcceptsOnlyOneShortWellFormedLine) {
  struct Case {
    const char* text;
    RequestStatus status;
    Request::Kind kind;
    std::uint32_t seconds;
  };
  const Case cases[] = {
      {"live\n", RequestStatus::kOk, Request::Kind::kLive, 0},
      {"live\r\n", RequestStatus::kOk, Request::Kind::kLive, 0},
      {"last 120\n", RequestStatus::kOk, Request::Kind::kLast, 120},
      {"last 0\n", RequestStatus::kOk, Request::Kind::kLast, 0},
      {"last 86400\n", RequestStatus::kOk, Request::Kind::kLast, 86400},
      {"liv", RequestStatus::kIncomplete, {}, 0},
      {"last 86401\n", RequestStatus::kMalformed, {}, 0},
      {"last\n", RequestStatus::kMalformed, {}, 0},
      {"last \n", RequestStatus::kMalformed, {}, 0},
      {"last -1\n", RequestStatus::kMalformed, {}, 0},
      {"last  5\n", RequestStatus::kMalformed, {}, 0},
      {"last 5 \n", RequestStatus::kMalformed, {}, 0},
      {"LIVE\n", RequestStatus::kMalformed, {}, 0},
      {"\n", RequestStatus::kMalformed, {}, 0},
      {"live\nlive\n", RequestStatus::kMalformed, {}, 0},
      {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", RequestStatus::kTooLong, {}, 0},
      {"last 0000000000000000000000000000005\n", RequestStatus::kTooLong, {}, 0},
  };
  for (const Case& c : cases) {
    Request request{Request::Kind::kLive, 7};
    EXPECT_EQ(ParseRequest(c.text, &request), c.status) << c.text;
    if (c.status == RequestStatus::kOk) {
      EXPECT_EQ(request.kind, c.kind) << c.text;
      EXPECT_EQ(request.seconds, c.seconds) << c.text;
    }
  }
}

}  // namespace
}  // namespace lumaro::monitor
