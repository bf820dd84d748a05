// /dev/LumaroClassic in a umockdev testbed, served by a ClassicController:
// the command channel and fixed requests, and touch events for CLASSIC_TOUCH_READ
// at the packet rate.
#pragma once

#include <umockdev.h>

#include <memory>
#include <string>

#include "simulator/classic_controller.h"
#include "simulator/emulated_node.h"

namespace lumaro::sim {

class ClassicNode final : public EmulatedNode {
 public:
  // Adds the node to `testbed` and attaches the handlers.
  static std::unique_ptr<ClassicNode> Create(UMockdevTestbed* testbed,
                                             ClassicController* controller, Events events,
                                             std::string* error);
  ~ClassicNode() override { Detach(); }

 private:
  ClassicNode(ClassicController* controller, Events events)
      : EmulatedNode(controller->player(), events), controller_(controller) {}
  void HandleIoctl(UMockdevIoctlClient* client) override;

  ClassicController* controller_;
};

}  // namespace lumaro::sim
