// Command line of lumaro-sim.
#pragma once

#include <string>
#include <vector>

#include "simulator/classic_controller.h"
#include "simulator/trace_player.h"

namespace lumaro::sim {

struct SimOptions {
  double rate = 240.0;         // frames (half-frames) served per second
  double packet_rate = 200.0;  // touch packets served per second
  double linger = 1.0;         // seconds between the end of the trace and SIGTERM
  bool usb_device = true;      // the simulated USB bus lists the controller
  bool version = false;        // --version: print it and exit
  std::string log_path;        // empty: standard error
  std::string state_out_path;
  std::string node_group;  // empty: the nodes keep umockdev's owner and mode
  std::string trace_path;
  std::vector<std::string> command;
  ClassicFaults classic;  // misbehaviour of /dev/LumaroClassic
  FaultOptions faults;    // faults of /dev/lumaro beyond the trace's own
};

inline constexpr char kUsage[] =
    "usage: lumaro-sim [--rate FRAMES_PER_S] [--packet-rate PACKETS_PER_S]\n"
    "                  [--linger SECONDS] [--log FILE] [--state-out FILE] [--no-usb]\n"
    "                  [--node-group GROUP]\n"
    "                  [--classic-fail-read TARGET:BLOCK]... [--classic-fail-write-after N]\n"
    "                  [--classic-refuse-writes FROM:COUNT]\n"
    "                  [--classic-short-reply] [--classic-garbage-reply]\n"
    "                  [--short-read-every N] [--fail-every N]\n"
    "                  TRACE -- COMMAND [ARGS...]\n"
    "Runs COMMAND against the simulated camera controller at /dev/lumaro and classic\n"
    "controller at /dev/LumaroClassic, played from TRACE.\n"
    "  --rate N          frames served to read per second (default 240)\n"
    "  --packet-rate N   touch packets (request 192) and classic events (request 242)\n"
    "                    served per second (default 200)\n"
    "  --linger S        seconds from the end of the trace to SIGTERM (default 1)\n"
    "  --log FILE        one line per request, report and playback event (default\n"
    "                    standard error); a request 192 or 242 that fails with\n"
    "                    EAGAIN because nothing is due is not logged\n"
    "  --state-out FILE  writes the controllers' final state (classic blocks too) as a\n"
    "                    trace\n"
    "  --no-usb          the simulated USB bus (USB_DEVFS_PATH, read by libusb 0.1)\n"
    "                    lists no device; by default it lists the controller,\n"
    "                    5a3e:0c20, as device 001/002\n"
    "  --node-group GROUP\n"
    "                    both nodes belong to root and GROUP (a name or number) with\n"
    "                    mode 0660, as the packaged udev rule sets them: a command\n"
    "                    that drops to another user reaches them only with GROUP\n"
    "Faults of /dev/lumaro beyond the trace's own (readerr, readzero, fail,\n"
    "failonce, unplug, wait):\n"
    "  --short-read-every N\n"
    "                    every Nth frame is read cut to half its length\n"
    "  --fail-every N    every Nth request to /dev/lumaro fails with EIO\n"
    "Misbehaviour of the classic controller's command channel:\n"
    "  --classic-fail-read TARGET:BLOCK\n"
    "                    reads of that block (target 0x80 or 0 to 3) get a failure\n"
    "                    status; may be given more than once\n"
    "  --classic-fail-write-after N\n"
    "                    the first N block writes succeed, every later one gets a\n"
    "                    failure status\n"
    "  --classic-refuse-writes FROM:COUNT\n"
    "                    block writes number FROM to FROM+COUNT-1 (counted from 1)\n"
    "                    get a failure status; later ones succeed again\n"
    "  --classic-short-reply\n"
    "                    data replies carry one data byte less than they should\n"
    "  --classic-garbage-reply\n"
    "                    every reply has a bad sync byte, status and checksum\n"
    "TRACE - reads the trace from standard input.\n"
    "  --help            this text\n"
    "  --version         the version\n"
    "Exit status: COMMAND's, or 1 when the simulator fails (--log or --state-out\n"
    "cannot be written, the nodes cannot be made), 64 usage error, 65 TRACE\n"
    "unreadable or malformed, 127 COMMAND cannot be run.\n";

// Parses argv; on failure returns false with the reason in *error. `--help`
// sets *help and returns true; `--version` sets options->version.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error);

}  // namespace lumaro::sim
