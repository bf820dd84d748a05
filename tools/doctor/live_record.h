// lumaro-doctor --live: records the controller for a number of seconds
// through lumaro-record's recorder, with a progress line.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "driver-interface/device_io.h"

namespace lumaro::doctor {

struct LiveOptions {
  long seconds = 0;
  std::FILE* progress = nullptr;  // the progress line; none when null
  std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
  std::string holder;     // the program that holds the node open, if any
  bool terminal = false;  // progress rewritten in place; else a line every 10 s
};

// Records from the touch node into *trace_text for `seconds`. Refuses, with
// the advice to stop lumarod, when another program holds the node or it is
// busy.
bool RecordFrom(DeviceIo& io, const LiveOptions& options, std::string* trace_text,
                std::string* error);

// RecordFrom on the real node, with the progress on standard error.
bool RecordLive(long seconds, std::string* trace_text, std::string* error);

// The program, with its pid, that holds the touch node open; empty when
// none does (or when the other processes cannot be seen).
std::string NodeHolder();

}  // namespace lumaro::doctor
