// The main record written over the simulator's classic controller while it
// refuses some block writes: the record ends whole, new or old, or the tool
// says that it may not be.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "classic-calibration-tool/classic_flow.h"
#include "tests/unit/captured_output.h"
#include "tests/unit/classic/sim_classic.h"

namespace lumaro {
namespace {

// Block writes of one whole main record.
constexpr std::uint64_t kSetUpWrites = [] {
  std::uint64_t n = 0;
  for (const Segment& s : kMainSegments) n += SegmentBlocks(s.length);
  return n;
}();

TEST(RecordWrite, RefusedBlocksAreRetriedOrTheOldRecordIsWrittenBack) {
  const struct {
    std::uint64_t from, count;
    bool stored;
    bool old_record;
    const char* message;
  } cases[] = {
      {0, 0, true, false, ""},
      // Block 5's first write and two retries are refused, the last retry stores it.
      {5, kBlockWriteAttempts - 1, true, false, ""},
      // Refused for as long as the retries last: block 5's neighbours go back.
      {5, kBlockWriteAttempts, false, true,
       "the controller refused the record write; the old record is kept"},
      // Refused for good: the old record cannot be put back either.
      {5, 1000, false, false,
       "the controller refused the record write and the old record could not be written back: "
       "the record may be inconsistent"},
  };
  // A refused write may have landed all the same: the old record goes back
  // over the refused block too.
  for (const bool land : {false, true})
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.count << (land ? ", refused writes land" : ""));
      sim::ClassicFaults faults;
      faults.refused_writes_from = c.from + kSetUpWrites;
      faults.refused_writes_count = c.count;
      faults.refused_writes_land = land;
      fakes::SimulatedClassic io(nullptr, "", faults);
      ClassicChannel ch{io, fakes::SimulatedClassic::kFd, [](std::uint32_t) {}};
      ClassicContext context{};
      for (std::size_t i = 0; i < context.saved_main.size(); ++i) {
        context.saved_main[i] = static_cast<std::uint8_t>(i);
      }
      fakes::StoreMain(ch, context.saved_main);  // the old record
      context.config.main_ok = 1;
      context.config.main_read = kAllMainSegments;
      context.config.main = context.saved_main;
      for (std::uint8_t& byte : context.config.main) byte = static_cast<std::uint8_t>(~byte);

      const std::string failure = StoreMainRecord(context, ch);
      EXPECT_EQ(failure.empty(), c.stored);
      EXPECT_EQ(failure, c.message);
      classic_record::Main now{};
      if (c.message[0] != '\0' && !c.old_record) continue;  // the controller still refuses
      ASSERT_TRUE(main_record_read(ch, now));
      EXPECT_EQ(now, c.old_record ? context.saved_main : context.config.main);
    }
}

}  // namespace
}  // namespace lumaro
