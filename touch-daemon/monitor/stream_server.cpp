#include "touch-daemon/monitor/stream_server.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <span>
#include <utility>

#include "touch-daemon/monitor/monitored_io.h"
#include "trace/monitor_client.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::monitor {
namespace {

constexpr std::size_t kMaxSnapshots = 256;
// Wake-up period while readers wait for entries, and while none is connected.
constexpr int kServePollMs = 20;
constexpr int kIdlePollMs = 250;
// A stream that filled more than this share of the history since the last
// pass would outrun those periods: the next pass comes after kBusyPollMs.
constexpr std::size_t kBusyShare = 16;
constexpr int kBusyPollMs = 1;
// Byte 4 of a frame: 0 for a scan's first half-frame, 1 for its second.
constexpr std::size_t kHalfOffset = 4;

void AppendLine(std::string& out, const std::string& line) {
  out += line;
  out += '\n';
}

std::string IdentityLines(const Identity& identity) {
  std::string lines;
  trace::Record record;
  if (identity.has_product) {
    record.kind = trace::RecordKind::kProduct;
    record.value = identity.product;
    AppendLine(lines, trace::FormatRecord(record));
  }
  for (const auto& [code, bytes] : identity.blocks) {
    record.kind = trace::RecordKind::kBlock;
    record.value = code;
    record.bytes = bytes;
    AppendLine(lines, trace::FormatRecord(record));
  }
  return lines;
}

bool IsTimeout(const Entry& entry) {
  return entry.kind == EntryKind::kReadError && (entry.value == ETIMEDOUT || entry.value == ETIME);
}

}  // namespace

bool StartsScan(const Entry& entry) {
  return entry.kind == EntryKind::kFrame && entry.size > kHalfOffset &&
         entry.bytes[kHalfOffset] == 0;
}

std::string EntryLine(const Entry& entry) {
  // Indexed by EntryKind.
  static constexpr trace::RecordKind kRecordKinds[] = {
      trace::RecordKind::kProduct, trace::RecordKind::kBlock,     trace::RecordKind::kFailOnce,
      trace::RecordKind::kFrame,   trace::RecordKind::kReadError, trace::RecordKind::kReadZero,
      trace::RecordKind::kUnplug,  trace::RecordKind::kPlug,      trace::RecordKind::kReport,
  };
  static_assert(std::size(kRecordKinds) == static_cast<std::size_t>(EntryKind::kReport) + 1);
  trace::Record record;
  record.kind = kRecordKinds[static_cast<std::size_t>(entry.kind)];
  record.value = entry.value;
  record.bytes.assign(entry.bytes.begin(), entry.bytes.begin() + entry.size);
  return trace::FormatRecord(record);
}

void AppendEntryLine(std::string& out, const Entry& entry) {
  if (entry.kind == EntryKind::kFrame) {
    trace::AppendFrameLine(out, entry.bytes.data(), entry.size);
  } else if (entry.kind == EntryKind::kReport) {
    trace::AppendReportLine(out, std::span(entry.bytes.data(), entry.size));
  } else {
    out += EntryLine(entry);
  }
  out += '\n';
}

StreamServer::StreamServer(HistoryRing& ring, ServerOptions options)
    : ring_(ring), options_(std::move(options)) {
  readers_.reserve(options_.max_readers);
}

StreamServer::~StreamServer() {
  Stop();
  for (auto& reader : readers_) ::close(reader->fd);
  if (options_.listen_fd >= 0) ::close(options_.listen_fd);
}

void StreamServer::Start() {
  thread_ = std::thread([this] { Run(); });
}

void StreamServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void StreamServer::Run() {
  std::vector<pollfd> fds;
  while (!stop_) {
    const std::uint64_t now = MonotonicNs();
    const std::uint64_t before = cursor_;
    Consume();
    const bool busy = cursor_ - before > ring_.capacity() / kBusyShare;
    UpdateStatus(now);
    for (std::size_t i = 0; i < readers_.size();) {
      Reader& reader = *readers_[i];
      bool keep = true;
      if (!reader.streaming && now >= reader.deadline_ns) {
        Refuse(reader.fd, "no request within the time-out");
        reader.fd = -1;
        keep = false;
      } else if (reader.streaming) {
        keep = Serve(reader, now);
      }
      if (keep) {
        ++i;
      } else {
        readers_.erase(readers_.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }

    fds.clear();
    if (options_.listen_fd >= 0) fds.push_back({options_.listen_fd, POLLIN, 0});
    for (const auto& reader : readers_) {
      short events = POLLIN;
      if (!reader->out.empty()) events |= POLLOUT;
      fds.push_back({reader->fd, events, 0});
    }
    const int timeout = busy ? kBusyPollMs : readers_.empty() ? kIdlePollMs : kServePollMs;
    if (::poll(fds.data(), fds.size(), timeout) < 0) continue;

    const std::uint64_t after = MonotonicNs();
    std::size_t index = 0;
    if (options_.listen_fd >= 0 && (fds[index++].revents & POLLIN) != 0) Accept(after);
    // Readers accepted just now are not in fds; they are served next round.
    for (std::size_t i = 0; i < readers_.size() && index < fds.size(); ++index) {
      Reader& reader = *readers_[i];
      const short revents = fds[index].revents;
      bool keep = true;
      if (!reader.streaming && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        ReadRequest(reader, after);
        keep = reader.fd >= 0;
      } else if (reader.streaming && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        // A reader says nothing after its request: this is its leaving.
        char byte;
        const ssize_t n = ::recv(reader.fd, &byte, 1, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
          Close(reader, nullptr);
          keep = false;
        } else if (n > 0) {
          Close(reader, "sent more than one request");
          keep = false;
        }
      }
      if (keep) {
        ++i;
      } else {
        readers_.erase(readers_.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
}

void StreamServer::Consume() {
  std::uint64_t next = 0;
  while (true) {
    const HistoryRing::ReadResult result = ring_.Read(cursor_, &entry_, &next);
    if (result == HistoryRing::ReadResult::kNotYet) break;
    if (result == HistoryRing::ReadResult::kLost) {
      cursor_ = ring_.tail();
      continue;
    }
    switch (entry_.kind) {
      case EntryKind::kProduct:
        identity_.has_product = true;
        identity_.product = entry_.value;
        identity_changed_ = true;
        present_ = true;
        break;
      case EntryKind::kBlock:
        identity_.blocks[entry_.value].assign(entry_.bytes.begin(),
                                              entry_.bytes.begin() + entry_.size);
        identity_changed_ = true;
        break;
      case EntryKind::kFrame:
        if (identity_changed_) {
          snapshots_.push_back({cursor_, identity_});
          if (snapshots_.size() > kMaxSnapshots) snapshots_.pop_front();
          identity_changed_ = false;
        }
        if (StartsScan(entry_)) ++scans_;
        break;
      case EntryKind::kUnplug:
        present_ = false;
        break;
      default:
        break;
    }
    cursor_ = next;
  }
  // Keep the last identity that began before the oldest entry, and all later.
  const std::uint64_t tail = ring_.tail();
  while (snapshots_.size() >= 2 && snapshots_[1].pos <= tail) snapshots_.pop_front();
}

void StreamServer::Accept(std::uint64_t now) {
  while (true) {
    const int fd = ::accept4(options_.listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN, or a connection that went away first
    std::string who;
    if (options_.check_peers && !PeerAllowed(fd, &who)) {
      if (options_.log != nullptr) {
        std::fprintf(options_.log, "monitor: refused %s: not root nor in the readers' group\n",
                     who.c_str());
      }
      Refuse(fd, "permission denied");
      continue;
    }
    if (readers_.size() >= options_.max_readers) {
      Refuse(fd, "too many readers");
      continue;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &options_.send_buffer_bytes,
                 sizeof options_.send_buffer_bytes);
    auto reader = std::make_unique<Reader>();
    reader->fd = fd;
    reader->id = next_id_++;
    reader->deadline_ns = now + options_.request_timeout_ns;
    readers_.push_back(std::move(reader));
  }
}

bool StreamServer::PeerAllowed(int fd, std::string* who) const {
  ucred cred{};
  socklen_t length = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) {
    *who = "a reader of unknown identity";
    return false;
  }
  *who = "uid " + std::to_string(cred.uid);
  if (cred.uid == 0 || cred.uid == ::geteuid()) return true;
  if (options_.group == static_cast<gid_t>(-1)) return false;
  if (cred.gid == options_.group) return true;
  gid_t groups[256];
  length = sizeof groups;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups, &length) != 0) return false;
  const std::size_t count = length / sizeof(gid_t);
  return std::find(groups, groups + count, options_.group) != groups + count;
}

void StreamServer::ReadRequest(Reader& reader, std::uint64_t now) {
  char buffer[kMaxRequestBytes + 1];
  const ssize_t n = ::recv(reader.fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    Close(reader, nullptr);
    reader.fd = -1;
    return;
  }
  reader.request.append(buffer, static_cast<std::size_t>(n));
  Request request;
  const RequestStatus status = ParseRequest(reader.request, &request);
  if (status == RequestStatus::kIncomplete) return;
  if (status != RequestStatus::kOk) {
    Refuse(reader.fd, RequestError(status));
    reader.fd = -1;
    return;
  }
  Join(reader, request, now);
}

void StreamServer::Join(Reader& reader, const Request& request, std::uint64_t now) {
  Consume();
  reader.streaming = true;
  reader.out.reserve(options_.chunk_bytes + trace::kMaxFrameBytes * 2 + 64);
  AppendLine(reader.out, trace::HeaderLine());
  reader.allowance_ns = options_.max_lag_ns;
  // Live, or history that holds no scan recent enough: from now on, from
  // the next scan.
  reader.cursor = cursor_;
  reader.live_from = cursor_;
  reader.await_boundary = true;
  const Identity* identity = &identity_;
  if (request.kind == Request::Kind::kLast) {
    const std::uint64_t span = std::uint64_t{request.seconds} * kNsPerSecond;
    const std::uint64_t cutoff = now > span ? now - span : 0;
    std::uint64_t pos = ring_.tail();
    std::uint64_t next = 0;
    while (pos < cursor_) {
      const HistoryRing::ReadResult result = ring_.Read(pos, &entry_, &next);
      if (result == HistoryRing::ReadResult::kLost) {
        pos = ring_.tail();
        continue;
      }
      if (result != HistoryRing::ReadResult::kOk) break;
      if (entry_.time_ns >= cutoff && StartsScan(entry_)) {
        reader.cursor = pos;
        reader.await_boundary = false;
        reader.allowance_ns += span;
        identity = nullptr;
        for (const Snapshot& snapshot : snapshots_) {
          if (snapshot.pos <= pos) identity = &snapshot.identity;
        }
        break;
      }
      pos = next;
    }
  }
  if (identity != nullptr) reader.out += IdentityLines(*identity);
}

bool StreamServer::Serve(Reader& reader, std::uint64_t now) {
  std::uint64_t next = 0;
  // Chunk by chunk, as long as the socket takes them.
  while (true) {
    bool caught_up = false;
    while (reader.out.size() < options_.chunk_bytes) {
      if (!reader.live_marked && reader.cursor >= reader.live_from) {
        AppendLine(reader.out, trace::kLiveMarkerLine);
        reader.live_marked = true;
      }
      const HistoryRing::ReadResult result = ring_.Read(reader.cursor, &entry_, &next);
      if (result == HistoryRing::ReadResult::kNotYet) {
        caught_up = true;
        break;
      }
      if (result == HistoryRing::ReadResult::kLost) {
        Close(reader, "fell behind the whole history");
        return false;
      }
      reader.cursor = next;
      if (reader.await_boundary) {
        const bool data = entry_.kind == EntryKind::kFrame || entry_.kind == EntryKind::kReport ||
                          IsTimeout(entry_);
        if (StartsScan(entry_)) {
          reader.await_boundary = false;
        } else if (data) {
          continue;
        }
      }
      AppendEntryLine(reader.out, entry_);
    }
    if (!Flush(reader)) return false;
    if (caught_up || !reader.out.empty()) break;
  }
  // How far behind is the entry it has not taken yet?
  std::uint64_t lag = 0;
  if (ring_.Read(reader.cursor, &entry_, &next) == HistoryRing::ReadResult::kOk &&
      now > entry_.time_ns) {
    lag = now - entry_.time_ns;
  }
  reader.allowance_ns = std::min(reader.allowance_ns, lag + options_.max_lag_ns);
  if (lag > reader.allowance_ns) {
    char why[96];
    std::snprintf(why, sizeof why, "%.1f s behind the stream", static_cast<double>(lag) / 1e9);
    Close(reader, why);
    return false;
  }
  return true;
}

bool StreamServer::Flush(Reader& reader) {
  while (!reader.out.empty()) {
    const ssize_t n =
        ::send(reader.fd, reader.out.data(), reader.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return true;
      Close(reader, nullptr);  // it left
      return false;
    }
    reader.out.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

void StreamServer::Refuse(int fd, const char* reason) {
  std::string line = std::string("error ") + reason + "\n";
  // Best effort: the reader may be gone already.
  (void)::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::close(fd);
}

void StreamServer::Close(Reader& reader, const char* why) {
  if (why != nullptr && options_.log != nullptr) {
    std::fprintf(options_.log, "monitor: reader %d disconnected: %s\n", reader.id, why);
  }
  ::close(reader.fd);
  reader.fd = -1;
}

void StreamServer::UpdateStatus(std::uint64_t now) {
  if (!options_.on_status || now - status_time_ns_ < kNsPerSecond) return;
  const double seconds = static_cast<double>(now - status_time_ns_) / 1e9;
  const auto rate =
      status_time_ns_ == 0
          ? 0
          : static_cast<unsigned long>(static_cast<double>(scans_ - status_scans_) / seconds + 0.5);
  status_time_ns_ = now;
  status_scans_ = scans_;
  std::size_t streaming = 0;
  for (const auto& reader : readers_) streaming += reader->streaming ? 1 : 0;
  char text[128];
  if (present_) {
    std::snprintf(text, sizeof text, "product 0x%04x, %lu scans/s, %zu reader%s", identity_.product,
                  rate, streaming, streaming == 1 ? "" : "s");
  } else {
    std::snprintf(text, sizeof text, "no controller, %zu reader%s", streaming,
                  streaming == 1 ? "" : "s");
  }
  if (status_ == text) return;
  status_ = text;
  options_.on_status(status_);
}

int PassedListenSocket() {
  const int count = sd_listen_fds(1);
  if (count != 1) return -1;
  const int fd = SD_LISTEN_FDS_START;
  if (sd_is_socket_unix(fd, SOCK_STREAM, 1, nullptr, 0) <= 0) return -1;
  // Accepted until none is left: the socket must not block.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

bool LookUpGroup(const std::string& text, gid_t* out) {
  unsigned long number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) {
    *out = static_cast<gid_t>(number);
    return true;
  }
  const group* entry = ::getgrnam(text.c_str());
  if (entry == nullptr) return false;
  *out = entry->gr_gid;
  return true;
}

int BindListenSocket(const std::string& path, gid_t group, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    *error = path + ": not a usable socket path";
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const auto* generic = reinterpret_cast<const sockaddr*>(&address);

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  // A socket left behind: replace it only when no daemon answers on it.
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      *error = path + ": exists and is not a socket";
      ::close(fd);
      return -1;
    }
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answered = probe >= 0 && ::connect(probe, generic, sizeof address) == 0;
    if (probe >= 0) ::close(probe);
    if (answered) {
      *error = path + ": another daemon serves it";
      ::close(fd);
      return -1;
    }
    ::unlink(path.c_str());
  } else {
    // The directory by hand (under the service, systemd makes it).
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
  // Nobody may connect before the mode and group are right.
  const mode_t old_mask = ::umask(0177);
  const int bound = ::bind(fd, generic, sizeof address);
  const int bind_error = errno;
  ::umask(old_mask);
  if (bound != 0) {
    *error = path + ": " + std::strerror(bind_error);
    ::close(fd);
    return -1;
  }
  if (::listen(fd, 16) != 0 ||
      (group != static_cast<gid_t>(-1) &&
       ::chown(path.c_str(), static_cast<uid_t>(-1), group) != 0) ||
      ::chmod(path.c_str(), 0660) != 0) {
    *error = path + ": " + std::strerror(errno);
    ::unlink(path.c_str());
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace lumaro::monitor
