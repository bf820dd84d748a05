#include "touch-daemon/monitor/daemon_monitor.h"

#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace lumaro::monitor {

DaemonMonitor::DaemonMonitor(DeviceIo& device) : ring_(kHistoryBytes), io_(device, ring_) {}

DaemonMonitor::~DaemonMonitor() = default;

bool DaemonMonitor::Start(const MonitorSettings& settings, std::FILE* log, std::string* error) {
  ServerOptions options;
  options.log = log;
  options.on_status = [](const std::string& status) { sd_notifyf(0, "STATUS=%s", status.c_str()); };
  options.listen_fd = PassedListenSocket();
  if (options.listen_fd >= 0) {
    // systemd made the socket with its mode and group. Inside the service's
    // own user namespace the readers' ids are not mapped, so the socket's
    // permissions are the whole check.
    options.check_peers = false;
  } else {
    gid_t group = static_cast<gid_t>(-1);
    if (!settings.group.empty()) {
      if (!LookUpGroup(settings.group, &group)) {
        *error = "no group " + settings.group;
        return false;
      }
    } else if (!LookUpGroup(kDefaultReadersGroup, &group)) {
      group = static_cast<gid_t>(-1);
    }
    std::string why;
    options.listen_fd = BindListenSocket(settings.path, group, &why);
    if (options.listen_fd < 0 && log != nullptr) {
      std::fprintf(log, "monitor: not served: %s\n", why.c_str());
    }
    options.check_peers = true;
    options.group = group;
  }
  server_ = std::make_unique<StreamServer>(ring_, std::move(options));
  server_->Start();
  sd_notify(0, "READY=1\nSTATUS=started");
  return true;
}

}  // namespace lumaro::monitor
