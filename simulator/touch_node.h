// /dev/lumaro in a umockdev testbed, served by a CameraController: requests,
// frames for `read` at the frame rate, touch packets for GET_TOUCH_PACKET, and the
// reports the program writes.
#pragma once

#include <umockdev.h>

#include <memory>
#include <string>

#include "simulator/camera_controller.h"
#include "simulator/emulated_node.h"

namespace lumaro::sim {

class TouchNode final : public EmulatedNode {
 public:
  // Adds the node to `testbed` and attaches the handlers. `rate` is the number
  // of frames served per second; the controller's player paces the packets.
  static std::unique_ptr<TouchNode> Create(UMockdevTestbed* testbed, CameraController* controller,
                                           double rate, Events events, std::string* error);
  ~TouchNode() override;

  // Ends the reads left waiting at the end of the trace with EINTR, as a
  // blocking driver read ends when a signal arrives. umockdev's preload
  // library holds signals back while an emulated call is in progress, so a
  // signal sent to the command lands only once its read returns.
  void InterruptStalledReads();

 private:
  TouchNode(CameraController* controller, Events events)
      : EmulatedNode(controller->player(), events), controller_(controller) {}
  void HandleIoctl(UMockdevIoctlClient* client) override;
  void HandleRead(UMockdevIoctlClient* client) override;
  void HandleWrite(UMockdevIoctlClient* client) override;
  PacketStep NextPaced(PacedStream /*stream*/, gint64 now_us) override {
    return controller_->NextPacket(now_us);
  }

  CameraController* controller_;
  gint64 period_us_ = 0;
  gint64 next_due_us_ = 0;
  GPtrArray* stalled_ = nullptr;             // reads left pending at the end of the trace
  GMainContext* handler_context_ = nullptr;  // the context umockdev's handlers run in
};

}  // namespace lumaro::sim
