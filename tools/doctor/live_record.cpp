#include "tools/doctor/live_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "driver-interface/requests.h"
#include "tools/recorder.h"

namespace lumaro::doctor {
namespace {

std::atomic<bool> g_interrupted{false};

// Off a terminal, the progress is a plain line this often.
constexpr long long kPlainProgressSeconds = 10;

void OnSignal(int) {
  g_interrupted = true;
}

// Passes every call on; counts frames, draws the progress line once a second
// and raises `stop` when the time is up.
class TimedIo final : public DeviceIo {
 public:
  TimedIo(DeviceIo& inner, const LiveOptions& options, std::atomic<bool>& stop)
      : inner_(inner), options_(options), stop_(stop), start_(options.now()) {}

  long frames() const { return frames_; }
  int Open(const char* path, int flags) override { return inner_.Open(path, flags); }
  int Close(int fd) override { return inner_.Close(fd); }
  ssize_t Read(int fd, void* buffer, std::size_t count) override {
    const ssize_t n = inner_.Read(fd, buffer, count);
    const int error = errno;
    if (n > 0) ++frames_;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(options_.now() - start_);
    if (elapsed.count() != shown_) {
      shown_ = elapsed.count();
      if (options_.terminal || shown_ % kPlainProgressSeconds == 0) Progress();
    }
    if (elapsed.count() >= options_.seconds || g_interrupted) stop_ = true;
    errno = error;
    return n;
  }
  ssize_t Write(int fd, const void* buffer, std::size_t count) override {
    return inner_.Write(fd, buffer, count);
  }
  int Ioctl(int fd, unsigned long request, void* block) override {
    return inner_.Ioctl(fd, request, block);
  }
  int Access(const char* path, int mode) override { return inner_.Access(path, mode); }

  void Progress() {
    if (options_.progress == nullptr) return;
    std::fprintf(options_.progress, "%slumaro-doctor: recording %lld of %ld s, %ld frames%s",
                 options_.terminal ? "\r" : "",
                 static_cast<long long>(std::min<long long>(shown_, options_.seconds)),
                 options_.seconds, frames_, options_.terminal ? "" : "\n");
    std::fflush(options_.progress);
  }

 private:
  DeviceIo& inner_;
  const LiveOptions& options_;
  std::atomic<bool>& stop_;
  std::chrono::steady_clock::time_point start_;
  long long shown_ = 0;
  long frames_ = 0;
};

constexpr char kStopDaemon[] =
    ": lumarod must be stopped first (systemctl stop lumarod) and started again afterwards";

}  // namespace

std::string NodeHolder() {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return {};
  std::string holder;
  while (dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    DIR* fds = ::opendir((dir + "/fd").c_str());
    if (fds == nullptr) continue;  // gone, or not ours to see
    while (dirent* fd = ::readdir(fds)) {
      char target[256];
      const ssize_t n = ::readlink((dir + "/fd/" + fd->d_name).c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = '\0';
      if (std::strcmp(target, kTouchNodePath) != 0) continue;
      std::ifstream comm(dir + "/comm");
      std::getline(comm, holder);
      if (holder.empty()) holder = "process";
      holder += std::string(" (pid ") + entry->d_name + ")";
      break;
    }
    ::closedir(fds);
    if (!holder.empty()) break;
  }
  ::closedir(proc);
  return holder;
}

bool RecordFrom(DeviceIo& io, const LiveOptions& options, std::string* trace_text,
                std::string* error) {
  if (!options.holder.empty()) {
    *error = std::string(kTouchNodePath) + " is held by " + options.holder + kStopDaemon;
    return false;
  }
  const int fd = io.Open(kTouchNodePath, O_RDWR);
  if (fd < 0) {
    const int open_error = errno;
    *error = open_error == EBUSY
                 ? std::string(kTouchNodePath) + kStopDaemon
                 : std::string("cannot open ") + kTouchNodePath + ": " + std::strerror(open_error);
    return false;
  }
  io.Close(fd);

  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  if (out == nullptr) {
    *error = "out of memory";
    return false;
  }
  std::atomic<bool> stop{false};
  TimedIo timed(io, options, stop);
  const tools::RecordResult result = tools::RecordTrace(timed, out, 0, stop);
  timed.Progress();
  if (options.progress != nullptr && options.terminal) std::fputc('\n', options.progress);
  std::fclose(out);
  trace_text->assign(text, size);
  std::free(text);
  if (!result.ok) {
    *error =
        "recording stopped after " + std::to_string(result.frames) + " frames: " + result.error;
    return false;
  }
  return true;
}

bool RecordLive(long seconds, std::string* trace_text, std::string* error) {
  // Without SA_RESTART, so a waiting read returns and the recording ends.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  SystemDeviceIo io;
  LiveOptions options;
  options.seconds = seconds;
  options.progress = stderr;
  options.terminal = ::isatty(STDERR_FILENO) == 1;
  options.holder = NodeHolder();
  return RecordFrom(io, options, trace_text, error);
}

}  // namespace lumaro::doctor
