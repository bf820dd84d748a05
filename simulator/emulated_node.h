// What the simulator's device nodes share: a node in a umockdev testbed whose
// requests, reads and writes reach handlers on umockdev's own thread, played
// from the one TracePlayer; unplugging by renaming the node file; and paced
// requests (touch packets, classic events) that wait at most 10 ms.
//
// The simulator's main thread runs the GLib main loop that watches the
// command. Playback steps that must happen without a request (the time
// between `unplug` and `plug`, the end of the trace) are handed to the main
// thread through `Events`.
#pragma once

#include <sys/types.h>
#include <umockdev.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "simulator/trace_player.h"

namespace lumaro::sim {

class EmulatedNode {
 public:
  struct Events {
    // Called on the handler thread when playback reached an `unplug`, after
    // this node was hidden: the other nodes must be hidden before it returns,
    // and the main thread should go on with NextUnplugged().
    void (*unplugged)(void* user) = nullptr;
    // Called when playback has reached the end of the trace.
    void (*exhausted)(void* user) = nullptr;
    void* user = nullptr;
  };

  virtual ~EmulatedNode();
  EmulatedNode(const EmulatedNode&) = delete;
  EmulatedNode& operator=(const EmulatedNode&) = delete;

  // Removes and restores the node file, as when the controller is unplugged
  // and plugged back in. Descriptors opened before the removal stay dead.
  // Each does nothing when the node is already in that state.
  void Hide();
  void Restore();
  // Gives the node the owner root, group `group` and mode 0660, and opens
  // umockdev's request channel to every user, so that the node's own
  // permissions decide who may use it.
  bool GrantGroup(gid_t group, std::string* error);
  // Stops any wait in progress on the handler thread.
  void Shutdown() { shutdown_ = true; }

 protected:
  EmulatedNode(TracePlayer* player, Events events) : player_(player), events_(events) {}

  // Adds the misc device NAME (node /dev/NAME, minor `minor`) to `testbed` and
  // attaches the handlers.
  bool Attach(UMockdevTestbed* testbed, const std::string& name, int minor, std::string* error);

  // Detaches the handlers: no handler runs after it returns. Derived nodes
  // call it first thing in their destructors.
  void Detach();

  virtual void HandleIoctl(UMockdevIoctlClient* client) = 0;
  // By default, `read` and `write` fail with EINVAL.
  virtual void HandleRead(UMockdevIoctlClient* client);
  virtual void HandleWrite(UMockdevIoctlClient* client);

  // The first `size` bytes the request's argument points to, mapped; on
  // failure the request is completed with EFAULT and nullptr returned. The
  // caller unrefs the result.
  static UMockdevIoctlData* Resolve(UMockdevIoctlClient* client, std::size_t size);
  // A request's block of `size` bytes: its bytes in *block and, for size > 0,
  // the mapping in *data (to be unreffed by the caller). False when the
  // block cannot be mapped; the request is then completed with EFAULT.
  static bool TakeArgument(UMockdevIoctlClient* client, std::size_t size, UMockdevIoctlData** data,
                           std::vector<std::uint8_t>* block);
  static std::vector<std::uint8_t> Retrieve(UMockdevIoctlData* data);

  // Answers a request of `stream` into `data` (`size` bytes): the item when
  // it is due, after waiting for it if it is due within 10 ms; otherwise a
  // failure after 10 ms, as a blocking driver's request times out.
  void ServePaced(UMockdevIoctlClient* client, UMockdevIoctlData* data, std::size_t size,
                  PacedStream stream);
  // The paced stream's next step at `now_us`: the player's, unless the
  // node's controller decides otherwise.
  virtual PacketStep NextPaced(PacedStream stream, gint64 now_us) {
    return player_->NextPacket(stream, now_us);
  }
  // Hides the node and tells the main thread; the request then fails with ENODEV.
  void OnUnplug();
  void SleepUntil(gint64 due_us);

  TracePlayer* player_;
  Events events_;

 private:
  // Counts a handler call for as long as it runs.
  class RunningHandler {
   public:
    explicit RunningHandler(std::atomic<int>& count) : count_(count) { ++count_; }
    ~RunningHandler() { --count_; }
    RunningHandler(const RunningHandler&) = delete;
    RunningHandler& operator=(const RunningHandler&) = delete;

   private:
    std::atomic<int>& count_;
  };

  static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  // False for a client whose descriptor predates an unplug. Applies the
  // state records ahead on the first request of a fresh descriptor.
  bool Admit(UMockdevIoctlClient* client);

  UMockdevTestbed* testbed_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  std::string dev_path_;
  std::string node_file_;
  std::string socket_file_;
  std::string hidden_file_;
  std::atomic<int> generation_{1};
  std::atomic<bool> hidden_{false};
  std::atomic<bool> shutdown_{false};
  std::atomic<int> running_handlers_{0};  // handler calls in progress, for Detach
};

}  // namespace lumaro::sim
