#include "simulator/emulated_node.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace lumaro::sim {
namespace {

// The longest a paced request waits for its item. umockdev's preload library
// holds the client's signals back while a request is pending, so a short
// wait lets the client's timer ticks through between requests.
constexpr gint64 kPacedPollUs = 10000;
// How long Detach waits between looks at the handlers still running.
constexpr gulong kDetachGraceUs = 2000;
constexpr char kGenerationKey[] = "lumaro-generation";
constexpr char kFreshKey[] = "lumaro-fresh";

}  // namespace

bool EmulatedNode::Attach(UMockdevTestbed* testbed, const std::string& name, int minor,
                          std::string* error) {
  testbed_ = testbed;
  dev_path_ = "/dev/" + name;
  const std::string record = "P: /devices/virtual/misc/" + name + "\nN: " + name +
                             "\nE: DEVNAME=" + dev_path_ +
                             "\nE: SUBSYSTEM=misc\nA: dev=10:" + std::to_string(minor) + "\n";
  GError* err = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &err)) {
    *error = "cannot add " + dev_path_ + ": " + err->message;
    g_error_free(err);
    return false;
  }
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "client-connected", G_CALLBACK(OnConnected), this);
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
  g_signal_connect(handler_, "handle-read", G_CALLBACK(OnRead), this);
  g_signal_connect(handler_, "handle-write", G_CALLBACK(OnWrite), this);
  if (!umockdev_testbed_attach_ioctl(testbed, dev_path_.c_str(), handler_, &err)) {
    *error = "cannot attach the request handler of " + dev_path_ + ": " + err->message;
    g_error_free(err);
    g_clear_object(&handler_);
    return false;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  node_file_ = std::string(root) + dev_path_;
  socket_file_ = std::string(root) + "/ioctl" + dev_path_;
  hidden_file_ = std::string(root) + "/dev/." + name + "-unplugged";
  g_free(root);
  return true;
}

EmulatedNode::~EmulatedNode() {
  Detach();
}

void EmulatedNode::Detach() {
  shutdown_ = true;
  if (handler_ == nullptr) return;
  // Once the signals are disconnected no new handler call starts; one that
  // already runs on umockdev's thread sees shutdown_, ends any wait, and is
  // waited for here, so that it never outlives the node. The short grace
  // covers a call dispatched just before the disconnection that has not yet
  // counted itself.
  g_signal_handlers_disconnect_by_data(handler_, this);
  umockdev_testbed_detach_ioctl(testbed_, dev_path_.c_str(), nullptr);
  g_usleep(kDetachGraceUs);
  while (running_handlers_.load() > 0) g_usleep(kDetachGraceUs);
  g_clear_object(&handler_);
}

bool EmulatedNode::GrantGroup(gid_t group, std::string* error) {
  // The node file is a link to the terminal that carries the device's reads
  // and writes; opening it checks the terminal's permissions.
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(node_file_, ec);
  if (ec) {
    *error = "cannot resolve " + dev_path_ + ": " + ec.message();
    return false;
  }
  if (chown(target.c_str(), 0, group) != 0 || chmod(target.c_str(), 0660) != 0 ||
      chmod(socket_file_.c_str(), 0666) != 0) {
    *error = "cannot set the owner and mode of " + dev_path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void EmulatedNode::Hide() {
  if (hidden_.exchange(true)) return;
  ++generation_;
  if (std::rename(node_file_.c_str(), hidden_file_.c_str()) != 0) {
    std::perror(("lumaro-sim: cannot remove " + dev_path_).c_str());
  }
}

void EmulatedNode::Restore() {
  if (!hidden_.exchange(false)) return;
  if (std::rename(hidden_file_.c_str(), node_file_.c_str()) != 0) {
    std::perror(("lumaro-sim: cannot restore " + dev_path_).c_str());
  }
}

void EmulatedNode::OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<EmulatedNode*>(self);
  const RunningHandler running(node->running_handlers_);
  g_object_set_data(G_OBJECT(client), kGenerationKey, GINT_TO_POINTER(node->generation_.load()));
  g_object_set_data(G_OBJECT(client), kFreshKey, GINT_TO_POINTER(1));
}

bool EmulatedNode::Admit(UMockdevIoctlClient* client) {
  const int generation = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), kGenerationKey));
  if (generation != generation_.load()) return false;
  if (g_object_get_data(G_OBJECT(client), kFreshKey) != nullptr) {
    g_object_set_data(G_OBJECT(client), kFreshKey, nullptr);
    player_->OnOpen();
  }
  return true;
}

gboolean EmulatedNode::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<EmulatedNode*>(self);
  const RunningHandler running(node->running_handlers_);
  if (node->Admit(client)) {
    node->HandleIoctl(client);
  } else {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
  }
  return TRUE;
}

gboolean EmulatedNode::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<EmulatedNode*>(self);
  const RunningHandler running(node->running_handlers_);
  if (node->Admit(client)) {
    node->HandleRead(client);
  } else {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
  }
  return TRUE;
}

gboolean EmulatedNode::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<EmulatedNode*>(self);
  const RunningHandler running(node->running_handlers_);
  if (node->Admit(client)) {
    node->HandleWrite(client);
  } else {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
  }
  return TRUE;
}

void EmulatedNode::HandleRead(UMockdevIoctlClient* client) {
  umockdev_ioctl_client_complete(client, -1, EINVAL);
}

void EmulatedNode::HandleWrite(UMockdevIoctlClient* client) {
  umockdev_ioctl_client_complete(client, -1, EINVAL);
}

UMockdevIoctlData* EmulatedNode::Resolve(UMockdevIoctlClient* client, std::size_t size) {
  GError* err = nullptr;
  UMockdevIoctlData* data =
      umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &err);
  if (data == nullptr) {
    g_clear_error(&err);
    umockdev_ioctl_client_complete(client, -1, EFAULT);
  }
  return data;
}

bool EmulatedNode::TakeArgument(UMockdevIoctlClient* client, std::size_t size,
                                UMockdevIoctlData** data, std::vector<std::uint8_t>* block) {
  *data = nullptr;
  block->assign(size, 0);
  if (size == 0) return true;
  *data = Resolve(client, size);
  if (*data == nullptr) return false;
  *block = Retrieve(*data);
  block->resize(size);
  return true;
}

std::vector<std::uint8_t> EmulatedNode::Retrieve(UMockdevIoctlData* data) {
  guint8* bytes = nullptr;
  gint length = 0;
  umockdev_ioctl_data_retrieve(data, &bytes, &length);
  std::vector<std::uint8_t> copy;
  if (bytes != nullptr && length > 0) copy.assign(bytes, bytes + length);
  g_free(bytes);  // retrieve() hands out its own copy
  return copy;
}

void EmulatedNode::ServePaced(UMockdevIoctlClient* client, UMockdevIoctlData* data,
                              std::size_t size, PacedStream stream) {
  gint64 now = g_get_monotonic_time();
  PacketStep step = NextPaced(stream, now);
  if (step.kind == PacketStep::Kind::kNotDue && step.due_us - now <= kPacedPollUs) {
    SleepUntil(step.due_us);
    now = g_get_monotonic_time();
    step = NextPaced(stream, now);
  }
  switch (step.kind) {
    case PacketStep::Kind::kPacket: {
      const gint count = static_cast<gint>(std::min(step.bytes.size(), size));
      umockdev_ioctl_data_update(data, 0, step.bytes.data(), count);
      umockdev_ioctl_client_complete(client, 0, 0);
      break;
    }
    case PacketStep::Kind::kNotDue:
      // Not due within one poll: fail as a blocking driver's request times out.
      SleepUntil(now + kPacedPollUs);
      umockdev_ioctl_client_complete(client, -1, EAGAIN);
      break;
    case PacketStep::Kind::kFail:
      if (step.trace_over && events_.exhausted != nullptr) events_.exhausted(events_.user);
      SleepUntil(now + kPacedPollUs);
      umockdev_ioctl_client_complete(client, -1, step.error);
      break;
    case PacketStep::Kind::kUnplug:
      OnUnplug();
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      break;
  }
}

void EmulatedNode::OnUnplug() {
  Hide();
  if (events_.unplugged != nullptr) events_.unplugged(events_.user);
}

void EmulatedNode::SleepUntil(gint64 due_us) {
  // In short slices, so a shutdown is seen promptly.
  while (!shutdown_) {
    const gint64 left = due_us - g_get_monotonic_time();
    if (left <= 0) return;
    g_usleep(static_cast<gulong>(std::min<gint64>(left, 50000)));
  }
}

}  // namespace lumaro::sim
