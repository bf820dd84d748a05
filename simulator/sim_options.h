// Command line of lumaro-sim.
#pragma once

#include <string>
#include <vector>

namespace lumaro::sim {

struct SimOptions {
  double rate = 240.0;         // frames (half-frames) served per second
  double packet_rate = 200.0;  // touch packets served per second
  double linger = 1.0;         // seconds between the end of the trace and SIGTERM
  bool usb_device = true;      // the simulated USB bus lists the controller
  std::string log_path;        // empty: standard error
  std::string state_out_path;
  std::string trace_path;
  std::vector<std::string> command;
};

inline constexpr char kUsage[] =
    "usage: lumaro-sim [--rate FRAMES_PER_S] [--packet-rate PACKETS_PER_S]\n"
    "                  [--linger SECONDS] [--log FILE] [--state-out FILE] [--no-usb]\n"
    "                  TRACE -- COMMAND [ARGS...]\n"
    "Runs COMMAND against a simulated camera controller at /dev/lumaro played from TRACE.\n"
    "  --rate N          frames served to read per second (default 240)\n"
    "  --packet-rate N   touch packets served to request 192 per second (default 200)\n"
    "  --linger S        seconds from the end of the trace to SIGTERM (default 1)\n"
    "  --log FILE        one line per request, report and playback event (default\n"
    "                    standard error); a request 192 that fails with EAGAIN\n"
    "                    because no packet is due is not logged\n"
    "  --state-out FILE  writes the controller's final state as a trace\n"
    "  --no-usb          the simulated USB bus (USB_DEVFS_PATH, read by libusb 0.1)\n"
    "                    lists no device; by default it lists the controller,\n"
    "                    5a3e:0c20, as device 001/002\n";

// Parses argv; on failure returns false with the reason in *error. `--help`
// sets *help and returns true.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error);

}  // namespace lumaro::sim
