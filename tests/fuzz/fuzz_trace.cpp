// Fuzzes the trace reader: any text is either refused with a line number or
// read into records that write back to text the reader reads the same way.
#include <cstdlib>
#include <string>
#include <string_view>

#include "trace/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  lumaro::trace::Trace trace;
  std::string error;
  if (!lumaro::trace::ParseTrace(text, &trace, &error)) {
    if (error.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
    return 0;
  }
  std::string written = lumaro::trace::HeaderLine() + "\n";
  for (const lumaro::trace::Record& record : trace.records) {
    written += lumaro::trace::FormatRecord(record) + "\n";
  }
  lumaro::trace::Trace again;
  if (!lumaro::trace::ParseTrace(written, &again, &error)) std::abort();
  if (again.records.size() != trace.records.size()) std::abort();
  for (std::size_t i = 0; i < trace.records.size(); ++i) {
    const lumaro::trace::Record& a = trace.records[i];
    const lumaro::trace::Record& b = again.records[i];
    if (a.kind != b.kind || a.value != b.value || a.index != b.index || a.bytes != b.bytes) {
      std::abort();
    }
  }
  return 0;
}
