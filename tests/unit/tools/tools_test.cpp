#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/recorder.h"
#include "tools/trace_device_io.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

TEST(RecorderTest, RecordsIdentityFramesAndReidentification) {
  trace::Trace played;
  std::string error;
  const std::string zeros58(116, '0');
  ASSERT_TRUE(
      trace::ParseTrace("lumaro-trace 1\n"
                        "product 0x0c20\n"
                        "fail 241\n"
                        "frame 0000010100\n"
                        "readerr 110\n"
                        "block 240 07" +
                            zeros58.substr(2) +
                            "\n"
                            "frame a1000101\n"
                            "frame 00\n",
                        &played, &error))
      << error;
  TraceDeviceIo io(&played, stdout);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  const std::atomic<bool> stop{false};
  const RecordResult result = RecordTrace(io, out, 3, stop);
  std::fclose(out);
  const std::string recorded(text, size);
  std::free(text);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.frames, 3);
  auto block = [&](int code) { return "block " + std::to_string(code) + " " + zeros58 + "\n"; };
  EXPECT_EQ(recorded,
            "lumaro-trace 1\n"
            "product 0x0c20\n" +
                block(195) + block(196) + block(206) + block(240) + "fail 241\n" + block(242) +
                "block 201 " + std::string(56, '0') +
                "\n"
                "frame 0000010100\n"
                "readerr 110\n"
                "block 240 07" +
                zeros58.substr(2) +
                "\n"
                "frame a1000101\n"
                "frame 00\n");
}

}  // namespace
}  // namespace lumaro::tools
