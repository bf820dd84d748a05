#include "simulator/touch_node.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::sim {
namespace {

constexpr char kDeviceRecord[] =
    "P: /devices/virtual/misc/lumaro\n"
    "N: lumaro\n"
    "E: DEVNAME=/dev/lumaro\n"
    "E: SUBSYSTEM=misc\n"
    "A: dev=10:242\n";
// The longest a request 192 waits for a packet. umockdev's preload library
// holds the client's signals back while a request is pending, so a short
// wait lets the client's timer ticks through between requests.
constexpr gint64 kPacketPollUs = 10000;
constexpr char kGenerationKey[] = "lumaro-generation";
constexpr char kFreshKey[] = "lumaro-fresh";

std::vector<std::uint8_t> Retrieve(UMockdevIoctlData* data) {
  guint8* bytes = nullptr;
  gint length = 0;
  umockdev_ioctl_data_retrieve(data, &bytes, &length);
  std::vector<std::uint8_t> copy;
  if (bytes != nullptr && length > 0) copy.assign(bytes, bytes + length);
  g_free(bytes);  // retrieve() hands out its own copy
  return copy;
}

}  // namespace

std::unique_ptr<TouchNode> TouchNode::Create(UMockdevTestbed* testbed, CameraController* controller,
                                             double rate, Events events, std::string* error) {
  std::unique_ptr<TouchNode> node(new TouchNode());
  node->testbed_ = testbed;
  node->controller_ = controller;
  node->events_ = events;
  node->period_us_ = static_cast<gint64>(1e6 / rate);
  node->stalled_ = g_ptr_array_new_with_free_func(g_object_unref);

  GError* err = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, kDeviceRecord, &err)) {
    *error = std::string("cannot add the device: ") + err->message;
    g_error_free(err);
    return nullptr;
  }
  node->handler_ = umockdev_ioctl_base_new();
  g_signal_connect(node->handler_, "client-connected", G_CALLBACK(OnConnected), node.get());
  g_signal_connect(node->handler_, "handle-ioctl", G_CALLBACK(OnIoctl), node.get());
  g_signal_connect(node->handler_, "handle-read", G_CALLBACK(OnRead), node.get());
  g_signal_connect(node->handler_, "handle-write", G_CALLBACK(OnWrite), node.get());
  if (!umockdev_testbed_attach_ioctl(testbed, "/dev/lumaro", node->handler_, &err)) {
    *error = std::string("cannot attach the request handler: ") + err->message;
    g_error_free(err);
    return nullptr;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  node->node_file_ = std::string(root) + "/dev/lumaro";
  node->hidden_file_ = std::string(root) + "/dev/.lumaro-unplugged";
  g_free(root);
  return node;
}

TouchNode::~TouchNode() {
  shutdown_ = true;
  if (stalled_ != nullptr) g_ptr_array_unref(stalled_);
  if (handler_context_ != nullptr) g_main_context_unref(handler_context_);
  if (handler_ != nullptr) {
    umockdev_testbed_detach_ioctl(testbed_, "/dev/lumaro", nullptr);
    g_object_unref(handler_);
  }
}

void TouchNode::Hide() {
  ++generation_;
  if (std::rename(node_file_.c_str(), hidden_file_.c_str()) != 0) {
    std::perror("lumaro-sim: cannot remove the node");
  }
}

void TouchNode::Restore() {
  if (std::rename(hidden_file_.c_str(), node_file_.c_str()) != 0) {
    std::perror("lumaro-sim: cannot restore the node");
  }
}

void TouchNode::OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<TouchNode*>(self);
  g_object_set_data(G_OBJECT(client), kGenerationKey, GINT_TO_POINTER(node->generation_.load()));
  g_object_set_data(G_OBJECT(client), kFreshKey, GINT_TO_POINTER(1));
}

bool TouchNode::Admit(UMockdevIoctlClient* client) {
  const int generation = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), kGenerationKey));
  if (generation != generation_.load()) return false;
  if (g_object_get_data(G_OBJECT(client), kFreshKey) != nullptr) {
    g_object_set_data(G_OBJECT(client), kFreshKey, nullptr);
    controller_->OnOpen();
  }
  return true;
}

gboolean TouchNode::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<TouchNode*>(self);
  if (!node->Admit(client)) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  const unsigned long code = umockdev_ioctl_client_get_request(client);
  const std::size_t size = CameraController::RequestSize(code);
  std::vector<std::uint8_t> block(size);
  UMockdevIoctlData* data = nullptr;
  if (size > 0) {
    GError* err = nullptr;
    data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &err);
    if (data == nullptr) {
      g_clear_error(&err);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return TRUE;
    }
    block = Retrieve(data);
    block.resize(size);
  }
  if (code == GET_TOUCH_PACKET) {
    node->ServePacket(client, data);
    g_object_unref(data);
    return TRUE;
  }
  const RequestOutcome outcome = node->controller_->Request(code, block);
  if (data != nullptr && outcome.result == 0) {
    umockdev_ioctl_data_update(data, 0, block.data(), static_cast<gint>(block.size()));
  }
  umockdev_ioctl_client_complete(client, outcome.result, outcome.error);
  // resolve() hands over a reference; the client keeps its own until the
  // answer has been written back.
  if (data != nullptr) g_object_unref(data);
  return TRUE;
}

void TouchNode::ServePacket(UMockdevIoctlClient* client, UMockdevIoctlData* data) {
  gint64 now = g_get_monotonic_time();
  PacketStep step = controller_->NextPacket(now);
  if (step.kind == PacketStep::Kind::kNotDue && step.due_us - now <= kPacketPollUs) {
    SleepUntil(step.due_us);
    now = g_get_monotonic_time();
    step = controller_->NextPacket(now);
  }
  switch (step.kind) {
    case PacketStep::Kind::kPacket: {
      const gint count =
          static_cast<gint>(std::min<std::size_t>(step.bytes.size(), kTouchPacketSize));
      umockdev_ioctl_data_update(data, 0, step.bytes.data(), count);
      umockdev_ioctl_client_complete(client, 0, 0);
      break;
    }
    case PacketStep::Kind::kNotDue:
      // Not due within one poll: fail as a blocking driver's request times out.
      SleepUntil(now + kPacketPollUs);
      umockdev_ioctl_client_complete(client, -1, EAGAIN);
      break;
    case PacketStep::Kind::kFail:
      if (step.trace_over && events_.exhausted != nullptr) events_.exhausted(events_.user);
      SleepUntil(now + kPacketPollUs);
      umockdev_ioctl_client_complete(client, -1, step.error);
      break;
    case PacketStep::Kind::kUnplug:
      Hide();
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      if (events_.unplugged != nullptr) events_.unplugged(events_.user);
      break;
  }
}

void TouchNode::SleepUntil(gint64 due_us) {
  // In short slices, so a shutdown is seen promptly.
  while (!shutdown_) {
    const gint64 left = due_us - g_get_monotonic_time();
    if (left <= 0) return;
    g_usleep(static_cast<gulong>(std::min<gint64>(left, 50000)));
  }
}

gboolean TouchNode::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<TouchNode*>(self);
  if (!node->Admit(client)) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  ReadStep step = node->controller_->NextRead();
  const gint64 now = g_get_monotonic_time();
  const gint64 due = std::max(now, node->next_due_us_) + gint64{step.wait_ms} * 1000;
  node->SleepUntil(due);
  node->next_due_us_ = due + node->period_us_;

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
    case ReadStep::Kind::kUnplug:
      node->Hide();
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      if (node->events_.unplugged != nullptr) node->events_.unplugged(node->events_.user);
      break;
    case ReadStep::Kind::kExhausted:
      // The read waits for ever, as on a controller that sends nothing more.
      g_ptr_array_add(node->stalled_, g_object_ref(client));
      if (node->handler_context_ == nullptr) {
        node->handler_context_ = g_main_context_ref_thread_default();
      }
      if (node->events_.exhausted != nullptr) node->events_.exhausted(node->events_.user);
      break;
  }
  return TRUE;
}

void TouchNode::InterruptStalledReads() {
  if (handler_context_ == nullptr) return;
  // The stalled list belongs to the handler thread: empty it there.
  g_main_context_invoke(
      handler_context_,
      [](gpointer self) -> gboolean {
        auto* node = static_cast<TouchNode*>(self);
        for (guint i = 0; i < node->stalled_->len; ++i) {
          auto* client = static_cast<UMockdevIoctlClient*>(g_ptr_array_index(node->stalled_, i));
          umockdev_ioctl_client_complete(client, -1, EINTR);
        }
        g_ptr_array_set_size(node->stalled_, 0);
        return G_SOURCE_REMOVE;
      },
      this);
}

gboolean TouchNode::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<TouchNode*>(self);
  if (!node->Admit(client)) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
  const std::vector<std::uint8_t> bytes = Retrieve(data);
  node->controller_->OnWrite(bytes);
  umockdev_ioctl_client_complete(client, static_cast<glong>(bytes.size()), 0);
  return TRUE;
}

}  // namespace lumaro::sim
