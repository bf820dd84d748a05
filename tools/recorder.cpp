#include "tools/recorder.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <span>

#include "driver-interface/blocks.h"
#include "driver-interface/identity.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

class Recorder {
 public:
  Recorder(DeviceIo& io, std::FILE* out) : io_(io), out_(out) {}

  // Asks every identification request, whatever fails; writes what differs
  // from what was written before, and each request's first failure.
  void Identify(int fd) {
    const ControllerIdentity previous = identity_;
    identity_ = lumaro::Identify(io_, fd, identity_, IdentifyMode::kEveryRequest);
    for (unsigned long code : kIdentificationRequests) {
      if (identity_.Failed(code)) {
        Fail(code);
        continue;
      }
      const bool first = answered_.insert(code).second;
      if (code == GET_PRODUCT_ID) {
        if (!first && identity_.ProductId() == previous.ProductId()) continue;
        trace::Record record;
        record.kind = trace::RecordKind::kProduct;
        record.value = identity_.ProductId();
        Write(record);
        continue;
      }
      const std::span<const std::uint8_t> block = identity_.BlockOf(code);
      if (!first && std::ranges::equal(block, previous.BlockOf(code))) continue;
      trace::Record record;
      record.kind = trace::RecordKind::kBlock;
      record.value = static_cast<std::uint32_t>(code);
      record.bytes.assign(block.begin(), block.end());
      Write(record);
    }
  }

  // Every line is flushed, so a pipe sees each frame at once; the first
  // failure is kept.
  void Write(const trace::Record& record) { WriteLine(trace::FormatRecord(record)); }
  void WriteLine(const std::string& line) {
    if (write_error_ != 0) return;
    errno = 0;
    if (std::fprintf(out_, "%s\n", line.c_str()) < 0 || std::fflush(out_) != 0) {
      write_error_ = errno != 0 ? errno : EIO;
    }
  }
  int write_error() const { return write_error_; }

 private:
  void Fail(unsigned long code) {
    if (!failed_.insert(code).second) return;
    trace::Record record;
    record.kind = trace::RecordKind::kFail;
    record.value = static_cast<std::uint32_t>(code);
    Write(record);
  }

  DeviceIo& io_;
  std::FILE* out_;
  ControllerIdentity identity_;
  std::set<unsigned long> answered_;  // requests written at least once
  std::set<unsigned long> failed_;
  int write_error_ = 0;
};

}  // namespace

RecordResult RecordTrace(DeviceIo& io, std::FILE* out, long max_frames,
                         const std::atomic<bool>& stop, const RecordProgress& progress) {
  RecordResult result;
  const int fd = io.Open(kTouchNodePath, O_RDWR);
  if (fd < 0) {
    result.ok = false;
    result.error = std::string("cannot open ") + kTouchNodePath + ": " + std::strerror(errno);
    return result;
  }
  result.opened = true;
  Recorder recorder(io, out);
  recorder.WriteLine(trace::HeaderLine());
  recorder.Identify(fd);

  std::array<std::uint8_t, kFrameBufferSize> buffer{};
  while (!stop && (max_frames <= 0 || result.frames < max_frames) && recorder.write_error() == 0) {
    const ssize_t n = io.Read(fd, buffer.data(), buffer.size());
    const int error = errno;
    if (n > 0) {
      if (buffer[0] == kReinitFrameMarker) recorder.Identify(fd);
      trace::Record frame;
      frame.kind = trace::RecordKind::kFrame;
      frame.bytes.assign(buffer.begin(), buffer.begin() + n);
      recorder.Write(frame);
      ++result.frames;
      if (progress) progress(result);
      continue;
    }
    if (n < 0 && error == EINTR && stop) break;
    trace::Record failure;
    failure.kind = trace::RecordKind::kReadError;
    failure.value = static_cast<std::uint32_t>(ReadErrorNumber(n, error));
    if (n == 0) {
      result.ok = false;
      result.error = "the device returned an empty read";
      break;
    }
    recorder.Write(failure);
    ++result.read_errors;
    if (progress) progress(result);
    if (ClassifyRead(n, error) == ReadOutcome::kTimedOut) continue;
    result.ok = false;
    result.error = std::string("read failed: ") + std::strerror(error);
    break;
  }
  io.Close(fd);
  if (recorder.write_error() != 0) {
    result.ok = false;
    result.write_failed = true;
    result.error = std::string("cannot write the trace: ") + std::strerror(recorder.write_error());
  }
  return result;
}

}  // namespace lumaro::tools
