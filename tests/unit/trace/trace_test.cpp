#include "trace/trace.h"
#include "trace/report_line.h"

#include <gtest/gtest.h>

#include <string>

#include "trace/controller_state.h"
#include "trace/monitor_client.h"

namespace lumaro::trace {
namespace {

std::string ParseError(const std::string& text) {
  Trace trace;
  std::string error;
  EXPECT_FALSE(ParseTrace(text, &trace, &error)) << text;
  return error;
}

TEST(TraceParse, CommentsBlankLinesUpperCaseHexAndCrlfAreAccepted) {
  Trace trace;
  std::string error;
  ASSERT_TRUE(ParseTrace("# before the header\n\nlumaro-trace 1\nproduct 0X0C20\r\nframe A0\n",
                         &trace, &error))
      << error;
  ASSERT_EQ(trace.records.size(), 2u);
  EXPECT_EQ(trace.records[0].value, 0x0c20u);
  EXPECT_EQ(trace.records[0].line, 4);
  EXPECT_EQ(trace.records[1].bytes, std::vector<std::uint8_t>{0xa0});
}

// Malformed traces, each refused with an error that names the line.
TEST(TraceParse, RefusalsNameTheLine) {
  const std::string h = "lumaro-trace 1\n", b58(116, '0'), b32(64, '0');
  const struct {
    std::string text, error;
  } cases[] = {
      {"frame 00\n", "line 1: not a trace: the first line must be 'lumaro-trace 1'"},
      {"", "line 1: not a trace: the first line must be 'lumaro-trace 1'"},
      {"lumaro-trace 2\n", "line 1: unsupported trace version"},
      {h + "# x\nframe 0\n", "line 3: bad hex '0'"},
      {h + "frame  00\n", "line 2: fields are separated by exactly one space"},
      {h + "frame 00 \n", "line 2: fields are separated by exactly one space"},
      {h + "frobnicate\n", "line 2: unknown record 'frobnicate'"},
      {h + "plug\n", "line 2: 'plug' while the node is plugged in"},
      {h + "unplug\nframe 00\n", "line 3: nothing can be read while the node is unplugged"},
      {h + "unplug\nunplug\n", "line 3: 'unplug' while the node is already unplugged"},
      {h + "product 3104\n", "hex with 0x"},
      {h + "product 0x1ffffffff\n", "line 2"},
      {h + "block 193 " + b58 + "\n", "no block"},
      {h + "block 195 00\n", "needs 58 bytes, found 1"},
      {h + "block 201 " + b58 + "\n", "needs 28"},
      {h + "fail 77\n", "unknown request"},
      {h + "failonce 77\n", "unknown request"},
      {h + "frame " + std::string(4098, 'a') + "\n", "1 to 2048"},
      {h + "readerr 0\n", "errno"},
      {h + "readerr -5\n", "errno"},
      {h + "packet 0102\n", "needs 6 bytes"},
      {h + "classic-block 4 0 " + b32 + "\n", "target"},
      {h + "classic-block 1 4 " + b32 + "\n", "0 to 3"},
      {h + "classic-units 5\n", "0 to 4"},
      {h + "wait 1.5\n", "milliseconds"},
      {h + "unplug now\n", "takes 0 fields"},
  };
  for (const auto& c : cases)
    EXPECT_NE(ParseError(c.text).find(c.error), std::string::npos) << c.text;
  Trace trace;
  std::string error;
  // A classic target in decimal may carry a leading zero; only 0x makes it hex.
  EXPECT_TRUE(ParseTrace(h + "unplug\nwait 5\nproduct 0x1\nplug\nclassic-block 03 3 " + b32 + "\n",
                         &trace, &error))
      << error;
}

TEST(TraceFormat, RecordsRoundTrip) {
  const std::string text =
      "lumaro-trace 1\n"
      "product 0x0c20\n"
      "block 206 " +
      std::string(116, '7') +
      "\n"
      "fail 242\n"
      "frame a0000106000a0a0a0a0a\n"
      "readerr 5\n"
      "classic-block 0x80 2 " +
      std::string(64, 'c') +
      "\n"
      "classic-block 3 3 " +
      std::string(64, 'd') +
      "\n"
      "classic-units 2\n"
      "packet 010203040506\n"
      "event 00112233445566778899\n"
      "wait 10\n"
      "failonce 241\n"
      "readzero\n"
      "unplug\n"
      "plug\n";
  Trace trace;
  std::string error;
  ASSERT_TRUE(ParseTrace(text, &trace, &error)) << error;
  std::string written = HeaderLine() + "\n";
  for (const Record& record : trace.records) written += FormatRecord(record) + "\n";
  EXPECT_EQ(written, text);
}

TEST(ReportLine, WrittenAndReadBackOrDecoded) {
  const std::vector<std::uint8_t> bytes = {0, 1, 0xff, 0x7f, 0x10, 0, 1, 0, 2, 0, 3, 0};
  const std::string line = FormatReportLine(bytes);
  EXPECT_EQ(line, "report 0001ff7f1000010002000300");
  std::vector<std::uint8_t> back;
  ASSERT_TRUE(ParseReportLine(line, &back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(ParseReportLine("report 0g", &back));
  EXPECT_FALSE(ParseReportLine("frame 00", &back));
  EXPECT_EQ(FormatDecodedReportLine(bytes),
            "report  | slot 0 down 1 x 32767 y    16 | slot 1 down 0 x     2 y     3 |");
}

TEST(ControllerState, MissingBlocksAreZeroAndStateRoundTrips) {
  ControllerState state;
  EXPECT_EQ(state.Block(240, 58), std::vector<std::uint8_t>(58, 0));
  state.product_id = 0x0c20;
  state.blocks[195] = std::vector<std::uint8_t>(58, 0x11);
  state.failing.insert(241);
  state.classic_units = 2;
  state.classic_blocks[{0x80, 5}] = std::vector<std::uint8_t>(32, 0x22);

  Trace trace;
  for (const Record& record : StateRecords(state)) trace.records.push_back(record);
  Playback playback(&trace);
  ControllerState reloaded;
  playback.ApplyState(&reloaded);
  EXPECT_TRUE(playback.Exhausted());
  EXPECT_EQ(reloaded.product_id, state.product_id);
  EXPECT_EQ(reloaded.blocks, state.blocks);
  EXPECT_EQ(reloaded.failing, state.failing);
  EXPECT_EQ(reloaded.classic_units, 2u);
  EXPECT_EQ(reloaded.classic_blocks, state.classic_blocks);
}

TEST(MonitorClient, APathWithNoRoomForItsNulIsRefused) {
  MonitorClient client;
  std::string error;
  EXPECT_EQ(client.Connect("/" + std::string(107, 'x'), &error),
            MonitorClient::ConnectResult::kRefused);
  EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

}  // namespace
}  // namespace lumaro::trace
