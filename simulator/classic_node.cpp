#include "simulator/classic_node.h"

#include <string>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::sim {

std::unique_ptr<ClassicNode> ClassicNode::Create(UMockdevTestbed* testbed,
                                                 ClassicController* controller, Events events,
                                                 std::string* error) {
  std::unique_ptr<ClassicNode> node(new ClassicNode(controller, events));
  const std::string name = std::string(kClassicNodePath).substr(5);  // without "/dev/"
  if (!node->Attach(testbed, name, kClassicNodeMinor, error)) return nullptr;
  return node;
}

void ClassicNode::HandleIoctl(UMockdevIoctlClient* client) {
  const unsigned long code = umockdev_ioctl_client_get_request(client);
  if (code == CLASSIC_TOUCH_READ) {
    UMockdevIoctlData* data = Resolve(client, kClassicTouchEventSize);
    if (data == nullptr) return;
    ServePaced(client, data, kClassicTouchEventSize, PacedStream::kClassicEvents);
    g_object_unref(data);
    return;
  }
  const std::size_t size = controller_->ArgumentSize(code);
  std::vector<std::uint8_t> block;
  UMockdevIoctlData* data = nullptr;
  if (!TakeArgument(client, size, &data, &block)) return;
  const RequestOutcome outcome = controller_->Request(code, block);
  const RequestInfo* info = FindClassicRequest(code);
  if (data != nullptr && outcome.result >= 0 && info != nullptr &&
      info->direction == Direction::kOut) {
    umockdev_ioctl_data_update(data, 0, block.data(), static_cast<gint>(block.size()));
  }
  umockdev_ioctl_client_complete(client, outcome.result, outcome.error);
  // resolve() hands over a reference; the client keeps its own until the
  // answer has been written back.
  if (data != nullptr) g_object_unref(data);
}

}  // namespace lumaro::sim
