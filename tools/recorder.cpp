#include "tools/recorder.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

constexpr std::uint8_t kReinitMarker = 0xA1;
constexpr ssize_t kTimedOutResult = -110;

// The identification requests and their blocks, as the daemon asks them.
constexpr std::array kBlockRequests{GET_CALIB_PARA_X, GET_CALIB_PARA_Y, GET_DEVICE_CONFIG,
                                    GET_GEOMETRY,     GET_LENS_B,       GET_LENS_A,
                                    GET_DEVICE_INFO};

class Recorder {
 public:
  Recorder(DeviceIo& io, std::FILE* out) : io_(io), out_(out) {}

  // Asks every identification request; writes what differs from what was
  // written before.
  void Identify(int fd) {
    ProductIdBlock id{};
    if (io_.Request(fd, GET_PRODUCT_ID, id) < 0) {
      Fail(GET_PRODUCT_ID);
    } else if (!product_written_ || product_id::Value(id) != product_) {
      product_ = product_id::Value(id);
      product_written_ = true;
      trace::Record record;
      record.kind = trace::RecordKind::kProduct;
      record.value = product_;
      Write(record);
    }
    for (unsigned long code : kBlockRequests) {
      std::vector<std::uint8_t> block(FindTouchRequest(code)->size);
      if (io_.Ioctl(fd, code, block.data()) < 0) {
        Fail(code);
        continue;
      }
      auto [it, inserted] = blocks_.try_emplace(code, block);
      if (!inserted && it->second == block) continue;
      it->second = block;
      trace::Record record;
      record.kind = trace::RecordKind::kBlock;
      record.value = static_cast<std::uint32_t>(code);
      record.bytes = block;
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
  bool product_written_ = false;
  std::uint32_t product_ = 0;
  std::map<unsigned long, std::vector<std::uint8_t>> blocks_;
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
      if (buffer[0] == kReinitMarker) recorder.Identify(fd);
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
    failure.value = n == kTimedOutResult ? ETIMEDOUT : static_cast<std::uint32_t>(error);
    if (n == 0) {
      result.ok = false;
      result.error = "the device returned an empty read";
      break;
    }
    recorder.Write(failure);
    ++result.read_errors;
    if (progress) progress(result);
    if (n == kTimedOutResult || error == ETIMEDOUT || error == ETIME) continue;
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
