// lumaro-monitor [--json] [--screen WxH] [--monitor PATH]: the touches as
// they happen, one line per event: touch down, motion and up per slot (in
// report units and screen pixels), the scan rate, and the link's events
// (read errors, unplug and plug, identification). Reads the daemon's monitor
// stream while lumarod runs, otherwise the node through the daemon's loop.
#include <X11/Xlib.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "driver-interface/blocks.h"
#include "driver-interface/protocol.h"
#include "tools/live_source.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace {

namespace cli = lumaro::cli;
namespace report = lumaro::report;

constexpr char kProgram[] = "lumaro-monitor";
constexpr char kUsage[] = "usage: lumaro-monitor [--json] [--screen WxH] [--monitor PATH]\n";
constexpr char kAbout[] =
    "Shows the touches as they happen, one line per event: touch down, motion and\n"
    "up per slot with the position in report units (0 to 32767) and in screen\n"
    "pixels, the scan rate, and the link's events. While lumarod runs it reads\n"
    "the daemon's monitor stream; otherwise /dev/lumaro. Runs until SIGINT.\n\n";
constexpr char kExitStatus[] =
    "\nExit status: 0 stopped by a signal, 1 no stream or device (or the daemon\n"
    "stopped), 64 usage error.\n";

constexpr double kReportUnits = 32767.0;

struct MonitorOptions {
  bool json = false;
  int width = 0;  // the screen in pixels; 0: unknown
  int height = 0;
  std::string monitor_path = lumaro::trace::kDefaultMonitorPath;
};

std::vector<cli::Option> OptionTable(MonitorOptions* o) {
  return {
      {"--json", "", "one JSON object per line",
       [o](const std::string&, std::string*) { return o->json = true; }},
      {"--screen", "WxH", "the screen's size in pixels (default: the X display's)",
       [o](const std::string& value, std::string* error) {
         char tail = 0;
         if (std::sscanf(value.c_str(), "%dx%d%c", &o->width, &o->height, &tail) == 2 &&
             o->width > 0 && o->height > 0) {
           return true;
         }
         *error = "--screen takes WIDTHxHEIGHT in pixels, as 1920x1080";
         return false;
       }},
      {"--monitor", "PATH", "the daemon's monitor socket (default /run/lumaro/monitor)",
       [o](const std::string& value, std::string*) {
         o->monitor_path = value;
         return true;
       }},
  };
}

// The X display's size, when there is a display to ask.
void DisplaySize(MonitorOptions* o) {
  if (o->width > 0 || std::getenv("DISPLAY") == nullptr) return;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return;
  o->width = DisplayWidth(display, DefaultScreen(display));
  o->height = DisplayHeight(display, DefaultScreen(display));
  XCloseDisplay(display);
}

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

// Turns the trace lines of the stream into events and prints them.
class EventPrinter {
 public:
  explicit EventPrinter(const MonitorOptions& options)
      : options_(options), start_(Clock::now()), second_start_(start_) {}

  void Line(std::string_view line) {
    Tick();
    std::vector<std::uint8_t> bytes;
    if (lumaro::trace::ParseReportLine(line, &bytes)) {
      Report(bytes);
    } else if (line.starts_with("frame ")) {
      // A scan starts with its first half-frame: byte 4 is 0.
      if (line.size() >= 16 && line.substr(14, 2) == "00") ++scans_;
    } else if (line.starts_with("product ")) {
      Event(identified_ ? "reidentify" : "identify", "product " + std::string(line.substr(8)),
            "\"product\":\"" + std::string(line.substr(8)) + "\"");
      identified_ = true;
    } else if (line.starts_with("readerr ")) {
      const unsigned long error = std::strtoul(std::string(line.substr(8)).c_str(), nullptr, 10);
      if (error != ETIMEDOUT && error != ETIME) {
        Event("read-error", lumaro::ErrorName(static_cast<int>(error)),
              "\"errno\":" + std::to_string(error));
      }
    } else if (line == "readzero") {
      Event("read-error", "empty read", "\"errno\":0");
    } else if (line == "unplug" || line == "plug") {
      Event(std::string(line), line == "unplug" ? "the node went away" : "the node is back", "");
    }
  }

  // Once a second: the scan rate, when it changed by a tenth or more.
  void Tick() {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - second_start_).count();
    if (seconds < 1.0) return;
    const long rate = std::lround(scans_ / seconds);
    second_start_ = now;
    scans_ = 0;
    if (shown_rate_ >= 0 && std::abs(rate - shown_rate_) * 10 < std::max(shown_rate_, 1L)) return;
    shown_rate_ = rate;
    Event("rate", std::to_string(rate) + " scans/s",
          "\"scans_per_second\":" + std::to_string(rate));
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Slot {
    bool down = false;
    unsigned x = 0;
    unsigned y = 0;
  };

  void Report(const std::vector<std::uint8_t>& bytes) {
    report::Contact c{};
    for (std::size_t i = 0; report::ReadContact(bytes, i, &c); ++i) {
      Slot& slot = slots_[c.slot % slots_.size()];
      const bool down = c.down != 0;
      if (!down && !slot.down) continue;
      if (down && slot.down && c.x == slot.x && c.y == slot.y) continue;
      const char* kind = !slot.down ? "touch-down" : down ? "touch-motion" : "touch-up";
      if (down) {
        slot.x = c.x;
        slot.y = c.y;
      }
      slot.down = down;
      Touch(kind, c.slot, slot);
    }
  }

  void Touch(const char* kind, unsigned slot_number, const Slot& slot) {
    std::string text = "slot " + std::to_string(slot_number) + "  x " + std::to_string(slot.x) +
                       " y " + std::to_string(slot.y);
    std::string json = "\"slot\":" + std::to_string(slot_number) +
                       ",\"x\":" + std::to_string(slot.x) + ",\"y\":" + std::to_string(slot.y);
    if (options_.width > 0) {
      const long px = std::lround(slot.x * (options_.width - 1) / kReportUnits);
      const long py = std::lround(slot.y * (options_.height - 1) / kReportUnits);
      text += "  (" + std::to_string(px) + ", " + std::to_string(py) + " px)";
      json += ",\"px\":" + std::to_string(px) + ",\"py\":" + std::to_string(py);
    }
    Event(kind, text, json);
  }

  void Event(const std::string& kind, const std::string& text, const std::string& json) {
    const double t = std::chrono::duration<double>(Clock::now() - start_).count();
    if (options_.json) {
      std::printf("{\"time\":%.3f,\"event\":\"%s\"%s%s}\n", t, kind.c_str(),
                  json.empty() ? "" : ",", json.c_str());
    } else {
      std::printf("%8.3f  %-12s  %s\n", t, kind.c_str(), text.c_str());
    }
    std::fflush(stdout);
  }

  const MonitorOptions& options_;
  Clock::time_point start_;
  Clock::time_point second_start_;
  long scans_ = 0;
  long shown_rate_ = -1;
  bool identified_ = false;
  std::array<Slot, 2> slots_{};
};

}  // namespace

int main(int argc, char** argv) {
  MonitorOptions options;
  cli::ParseSetup setup;
  if (const int status =
          cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, OptionTable(&options),
                                setup, cli::Arguments(argc, argv));
      status != cli::kParsed) {
    return status;
  }
  DisplaySize(&options);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  EventPrinter printer(options);
  lumaro::tools::LiveRequest request;
  request.monitor_path = options.monitor_path;
  const lumaro::tools::LiveResult result = lumaro::tools::ReadLive(
      request, g_stop,
      {.line = [&](std::string_view line) { return printer.Line(line), true; },
       .keep_going = [&] { return printer.Tick(), true; }});
  if (!result.ok) return cli::Fail(kProgram, result.error, cli::kFailed);
  if (result.stream_ended) return cli::Fail(kProgram, "the daemon closed its stream", cli::kFailed);
  return cli::kOk;
}
