#include "simulator/touch_node.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::sim {

std::unique_ptr<TouchNode> TouchNode::Create(UMockdevTestbed* testbed, CameraController* controller,
                                             double rate, Events events, std::string* error) {
  std::unique_ptr<TouchNode> node(new TouchNode(controller, events));
  node->period_us_ = static_cast<gint64>(1e6 / rate);
  node->stalled_ = g_ptr_array_new_with_free_func(g_object_unref);
  const std::string name = std::string(kTouchNodePath).substr(5);  // without "/dev/"
  if (!node->Attach(testbed, name, kTouchNodeMinor, error)) return nullptr;
  return node;
}

TouchNode::~TouchNode() {
  Detach();
  if (stalled_ != nullptr) g_ptr_array_unref(stalled_);
  if (handler_context_ != nullptr) g_main_context_unref(handler_context_);
}

void TouchNode::HandleIoctl(UMockdevIoctlClient* client) {
  const unsigned long code = umockdev_ioctl_client_get_request(client);
  const std::size_t size = CameraController::RequestSize(code);
  std::vector<std::uint8_t> block;
  UMockdevIoctlData* data = nullptr;
  if (!TakeArgument(client, size, &data, &block)) return;
  if (code == GET_TOUCH_PACKET) {
    ServePaced(client, data, size, PacedStream::kTouchPackets);
    g_object_unref(data);
    return;
  }
  const RequestOutcome outcome = controller_->Request(code, block);
  if (data != nullptr && outcome.result == 0) {
    umockdev_ioctl_data_update(data, 0, block.data(), static_cast<gint>(block.size()));
  }
  umockdev_ioctl_client_complete(client, outcome.result, outcome.error);
  // resolve() hands over a reference; the client keeps its own until the
  // answer has been written back.
  if (data != nullptr) g_object_unref(data);
}

void TouchNode::HandleRead(UMockdevIoctlClient* client) {
  ReadStep step = controller_->NextRead();
  const gint64 now = g_get_monotonic_time();
  const gint64 due = std::max(now, next_due_us_) + gint64{step.wait_ms} * 1000;
  SleepUntil(due);
  next_due_us_ = due + period_us_;

  switch (step.kind) {
    case ReadStep::Kind::kFrame: {
      UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
      const gint count = std::min<gint>(data->data_len, static_cast<gint>(step.bytes.size()));
      // Only the frame's bytes change: the rest of the reader's buffer keeps
      // what earlier frames left there, as with the real driver.
      umockdev_ioctl_data_update(data, 0, step.bytes.data(), count);
      umockdev_ioctl_client_complete(client, count, 0);
      break;
    }
    case ReadStep::Kind::kError:
      umockdev_ioctl_client_complete(client, -1, step.error);
      break;
    case ReadStep::Kind::kZero:
      umockdev_ioctl_client_complete(client, 0, 0);
      break;
    case ReadStep::Kind::kNoFrame:
      umockdev_ioctl_client_complete(client, -1, ETIMEDOUT);
      break;
    case ReadStep::Kind::kUnplug:
      OnUnplug();
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      break;
    case ReadStep::Kind::kExhausted:
      // The read waits for ever, as on a controller that sends nothing more.
      g_ptr_array_add(stalled_, g_object_ref(client));
      if (handler_context_ == nullptr) handler_context_ = g_main_context_ref_thread_default();
      if (events_.exhausted != nullptr) events_.exhausted(events_.user);
      break;
  }
}

void TouchNode::InterruptStalledReads() {
  if (handler_context_ == nullptr) return;
  // The stalled list belongs to the handler thread: empty it there. The call
  // may run after this node is gone, so it holds a reference to the list
  // alone, never to the node.
  g_main_context_invoke_full(
      handler_context_, G_PRIORITY_DEFAULT,
      [](gpointer list) -> gboolean {
        auto* stalled = static_cast<GPtrArray*>(list);
        for (guint i = 0; i < stalled->len; ++i) {
          auto* client = static_cast<UMockdevIoctlClient*>(g_ptr_array_index(stalled, i));
          umockdev_ioctl_client_complete(client, -1, EINTR);
        }
        g_ptr_array_set_size(stalled, 0);
        return G_SOURCE_REMOVE;
      },
      g_ptr_array_ref(stalled_),
      [](gpointer list) { g_ptr_array_unref(static_cast<GPtrArray*>(list)); });
}

void TouchNode::HandleWrite(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
  const std::vector<std::uint8_t> bytes = Retrieve(data);
  controller_->OnWrite(bytes);
  umockdev_ioctl_client_complete(client, static_cast<glong>(bytes.size()), 0);
}

}  // namespace lumaro::sim
