// The monitor's server: a thread of its own that serves the history ring as
// a trace stream to the readers of a Unix stream socket.
//
// A reader connects, sends `live` or `last SECONDS`, and receives a trace:
// the header, the controller's identity as it stood where its stream
// starts, then every entry from a frame boundary on. The frame path is never
// waited for: the server only reads the ring. A reader more than max_lag
// behind the stream (beyond the history it asked for) is disconnected.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "touch-daemon/monitor/history_ring.h"
#include "touch-daemon/monitor/request.h"

namespace lumaro::monitor {

inline constexpr std::uint64_t kNsPerSecond = 1000000000;

struct ServerOptions {
  int listen_fd = -1;        // a listening socket (the server owns it), or -1
  bool check_peers = false;  // admit only root, our own user and members of group
  gid_t group = static_cast<gid_t>(-1);
  std::size_t max_readers = 16;
  std::uint64_t request_timeout_ns = 5 * kNsPerSecond;
  std::uint64_t max_lag_ns = 5 * kNsPerSecond;
  int send_buffer_bytes = 16 * 1024;    // per reader, in the kernel
  std::size_t chunk_bytes = 16 * 1024;  // per reader, here
  std::FILE* log = stderr;              // one line per refusal and disconnection
  // The one-line status, whenever it changes (at most once a second).
  std::function<void(const std::string& status)> on_status;
};

// The controller's identity as a trace states it.
struct Identity {
  bool has_product = false;
  std::uint32_t product = 0;
  std::map<std::uint32_t, std::vector<std::uint8_t>> blocks;
};

class StreamServer {
 public:
  StreamServer(HistoryRing& ring, ServerOptions options);
  // Stops the thread and closes every socket.
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  void Start();
  void Stop();

 private:
  struct Reader {
    int fd = -1;
    int id = 0;
    bool streaming = false;
    std::string request;
    std::uint64_t deadline_ns = 0;
    std::uint64_t cursor = 0;
    bool await_boundary = false;  // skipping to the first half-frame of a scan
    std::uint64_t allowance_ns = 0;
    std::uint64_t live_from = 0;  // where the history asked for ends
    bool live_marked = false;
    std::string out;
  };

  void Run();
  void Consume();
  void Accept(std::uint64_t now);
  bool PeerAllowed(int fd, std::string* who) const;
  void ReadRequest(Reader& reader, std::uint64_t now);
  void Join(Reader& reader, const Request& request, std::uint64_t now);
  // Moves entries into the reader's buffer and sends what the socket takes.
  // False when the reader is to be closed.
  bool Serve(Reader& reader, std::uint64_t now);
  bool Flush(Reader& reader);
  void Refuse(int fd, const char* reason);
  void Close(Reader& reader, const char* why);
  void UpdateStatus(std::uint64_t now);

  HistoryRing& ring_;
  ServerOptions options_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::unique_ptr<Reader>> readers_;
  int next_id_ = 1;

  // The server's own pass over the ring: the identity in force at its
  // cursor, and the identities in force from given frames on.
  std::uint64_t cursor_ = 0;
  Entry entry_;
  Identity identity_;
  bool identity_changed_ = false;
  bool present_ = false;
  struct Snapshot {
    std::uint64_t pos;
    Identity identity;
  };
  std::deque<Snapshot> snapshots_;
  std::uint64_t scans_ = 0;
  std::uint64_t status_scans_ = 0;
  std::uint64_t status_time_ns_ = 0;
  std::string status_;
};

// The socket given by systemd (socket activation), or -1.
int PassedListenSocket();

// Binds and listens on path, mode 0660 with group `group` (unless -1). A
// stale socket left by a dead daemon is replaced; one a live daemon answers
// on is not. Returns the descriptor, or -1 with *error set.
int BindListenSocket(const std::string& path, gid_t group, std::string* error);

// The group named (or numbered) by text; false when there is none.
bool LookUpGroup(const std::string& text, gid_t* out);

// The trace line of one entry, without the newline.
std::string EntryLine(const Entry& entry);
// The same line and its newline, appended to out; frames and reports, the
// bulk of the stream, without a string of their own.
void AppendEntryLine(std::string& out, const Entry& entry);

// True for a frame that starts a scan (its first half-frame).
bool StartsScan(const Entry& entry);

}  // namespace lumaro::monitor
