// /dev/lumaro in a umockdev testbed, served by a CameraController.
//
// umockdev runs the request handlers on its own thread; the simulator's main
// thread runs the GLib main loop that watches the command. Playback steps
// that must happen without a reader (the time between `unplug` and `plug`,
// the end of the trace) are handed to the main thread through `Events`.
#pragma once

#include <umockdev.h>

#include <atomic>
#include <memory>
#include <string>

#include "simulator/camera_controller.h"

namespace lumaro::sim {

class TouchNode {
 public:
  struct Events {
    // Called on the handler thread when a read found the node unplugged:
    // the main thread should go on with NextUnplugged().
    void (*unplugged)(void* user) = nullptr;
    // Called when playback has reached the end of the trace.
    void (*exhausted)(void* user) = nullptr;
    void* user = nullptr;
  };

  // Adds the node to `testbed` and attaches the handlers. `rate` is the number
  // of frames served per second; the controller paces the touch packets.
  static std::unique_ptr<TouchNode> Create(UMockdevTestbed* testbed, CameraController* controller,
                                           double rate, Events events, std::string* error);
  ~TouchNode();
  TouchNode(const TouchNode&) = delete;
  TouchNode& operator=(const TouchNode&) = delete;

  // Removes and restores the node file, as when the controller is unplugged
  // and plugged back in. Descriptors opened before the removal stay dead.
  void Hide();
  void Restore();
  // Stops any wait in progress on the handler thread.
  void Shutdown() { shutdown_ = true; }
  // Ends the reads left waiting at the end of the trace with EINTR, as a
  // blocking driver read ends when a signal arrives. umockdev's preload
  // library holds signals back while an emulated call is in progress, so a
  // signal sent to the command lands only once its read returns.
  void InterruptStalledReads();

 private:
  TouchNode() = default;
  static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  // False for a client whose descriptor predates an unplug. Applies the
  // state records ahead on the first request of a fresh descriptor.
  bool Admit(UMockdevIoctlClient* client);
  // Answers request 192 from the controller's packet stream.
  void ServePacket(UMockdevIoctlClient* client, UMockdevIoctlData* data);
  void SleepUntil(gint64 due_us);

  UMockdevTestbed* testbed_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  CameraController* controller_ = nullptr;
  Events events_;
  std::string node_file_;
  std::string hidden_file_;
  gint64 period_us_ = 0;
  gint64 next_due_us_ = 0;
  std::atomic<int> generation_{1};
  std::atomic<bool> shutdown_{false};
  GPtrArray* stalled_ = nullptr;             // reads left pending at the end of the trace
  GMainContext* handler_context_ = nullptr;  // the context umockdev's handlers run in
};

}  // namespace lumaro::sim
