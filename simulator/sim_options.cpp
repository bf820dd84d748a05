#include "simulator/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "cli/options.h"
#include "trace/trace.h"

namespace lumaro::sim {
namespace {

namespace cli = lumaro::cli;

bool ParsePositive(const std::string& text, double max, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0 || value > max) {
    return false;
  }
  *out = value;
  return true;
}

bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t* out) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                            std::string::npos) {
    return false;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno == ERANGE || value > max) return false;
  *out = value;
  return true;
}

// TARGET:BLOCK, the target 0x80 (or 128) or a unit 0 to 3, the block within
// its range.
bool ParseClassicBlock(const std::string& text, std::pair<std::uint32_t, std::uint32_t>* out) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::uint64_t target = 0;
  std::uint64_t block = 0;
  if (!ParseUnsigned(text.substr(0, colon), 0xff, &target) ||
      !ParseUnsigned(text.substr(colon + 1), 0xff, &block)) {
    return false;
  }
  const bool main = target == trace::kClassicMainTarget;
  if (!main && target >= trace::kMaxClassicUnits) return false;
  if (block >= (main ? trace::kClassicMainBlocks : trace::kClassicUnitBlocks)) return false;
  *out = {static_cast<std::uint32_t>(target), static_cast<std::uint32_t>(block)};
  return true;
}

constexpr char kSynopsis[] =
    "usage: lumaro-sim [OPTION]... TRACE -- COMMAND [ARGS...]\n"
    "Runs COMMAND against the simulated camera controller at /dev/lumaro and classic\n"
    "controller at /dev/LumaroClassic, played from TRACE (- for standard input).\n";

constexpr char kExitStatus[] =
    "Exit status: COMMAND's, also when the simulator ended it with SIGTERM at the\n"
    "end of the trace (128 plus the signal when a signal ended it); 1 when the\n"
    "simulator fails (--log or --state-out cannot be written, the nodes cannot be\n"
    "made), 64 usage error, 65 TRACE unreadable or malformed, 127 COMMAND cannot\n"
    "be run.\n";

using cli::Option;

// A rate above 0 and at most 1e6 per second.
cli::OptionAction Rate(double* out, const char* what) {
  return [out, what](const std::string& value, std::string* error) {
    if (ParsePositive(value, 1e6, out) && *out > 0) return true;
    *error = what;
    return false;
  };
}

cli::OptionAction EveryNth(int* out, const std::string& name) {
  return [out, name](const std::string& value, std::string* error) {
    double n = 0;
    if (ParsePositive(value, 1e9, &n) && n >= 1 && n == static_cast<int>(n)) {
      *out = static_cast<int>(n);
      return true;
    }
    *error = name + " takes a whole number from 1";
    return false;
  };
}

cli::OptionAction Text(std::string* out) {
  return [out](const std::string& value, std::string*) {
    *out = value;
    return true;
  };
}

cli::OptionAction Set(bool* out, bool to) {
  return [out, to](const std::string&, std::string*) {
    *out = to;
    return true;
  };
}

bool TakeClassicRefusal(const std::string& value, ClassicFaults* classic, std::string* error) {
  const std::size_t colon = value.find(':');
  std::uint64_t from = 0;
  std::uint64_t count = 0;
  if (colon == std::string::npos || !ParseUnsigned(value.substr(0, colon), UINT32_MAX, &from) ||
      !ParseUnsigned(value.substr(colon + 1), UINT32_MAX, &count) || from == 0) {
    *error = "--classic-refuse-writes takes FROM:COUNT, FROM from 1";
    return false;
  }
  classic->refused_writes_from = from;
  classic->refused_writes_count = count;
  return true;
}

// The options of /dev/lumaro's playback and of the command's surroundings.
std::vector<Option> PlaybackOptions(SimOptions* o) {
  return {
      {"--rate", "N", "frames served to read per second (default 240)",
       Rate(&o->rate, "--rate takes a number of frames per second above 0")},
      {"--packet-rate", "N",
       "touch packets (request 192) and classic events (request 242)\n"
       "served per second (default 200)",
       Rate(&o->packet_rate, "--packet-rate takes a number of packets per second above 0")},
      {"--linger", "S", "seconds from the end of the trace to SIGTERM (default 1)",
       [o](const std::string& value, std::string* error) {
         if (ParsePositive(value, 3600, &o->linger)) return true;
         *error = "--linger takes a number of seconds from 0 to 3600";
         return false;
       }},
      {"--log", "FILE",
       "one line per request, report and playback event (default\n"
       "standard error); a request 192 or 242 that fails with\n"
       "EAGAIN because nothing is due is not logged",
       Text(&o->log_path)},
      {"--state-out", "FILE",
       "writes the controllers' final state (classic blocks too) as a\ntrace",
       Text(&o->state_out_path)},
      {"--no-usb", "",
       "the simulated USB bus (USB_DEVFS_PATH, read by libusb 0.1)\n"
       "lists no device; by default it lists the controller,\n"
       "5a3e:0c20, as device 001/002",
       Set(&o->usb_device, false)},
      {"--node-group", "GROUP",
       "both nodes belong to root and GROUP (a name or number) with\n"
       "mode 0660, as the packaged udev rule sets them: a command\n"
       "that drops to another user reaches them only with GROUP",
       [o](const std::string& value, std::string* error) {
         o->node_group = value;
         if (!value.empty()) return true;
         *error = "--node-group takes a group name or number";
         return false;
       }},
      Option::Heading("Faults of /dev/lumaro beyond the trace's own (readerr, readzero, fail,\n"
                      "failonce, unplug, wait):"),
      {"--short-read-every", "N", "every Nth frame is read cut to half its length",
       EveryNth(&o->faults.short_read_every, "--short-read-every")},
      {"--fail-every", "N", "every Nth request to /dev/lumaro fails with EIO",
       EveryNth(&o->faults.fail_every, "--fail-every")},
  };
}

// The misbehaviour of the classic controller's command channel.
std::vector<Option> ClassicOptions(ClassicFaults* classic) {
  return {
      Option::Heading("Misbehaviour of the classic controller's command channel:"),
      {"--classic-fail-read", "TARGET:BLOCK",
       "reads of that block (target 0x80 or 0 to 3) get a failure\n"
       "status; may be given more than once",
       [classic](const std::string& value, std::string* error) {
         std::pair<std::uint32_t, std::uint32_t> block;
         if (ParseClassicBlock(value, &block)) {
           classic->failing_reads.insert(block);
           return true;
         }
         *error =
             "--classic-fail-read takes TARGET:BLOCK, target 0x80 (blocks 0 to 31) or 0 to 3 "
             "(blocks 0 to 3)";
         return false;
       }},
      {"--classic-fail-write-after", "N",
       "the first N block writes succeed, every later one gets a\nfailure status",
       [classic](const std::string& value, std::string* error) {
         std::uint64_t count = 0;
         if (ParseUnsigned(value, UINT32_MAX, &count)) {
           classic->writes_before_failure = count;
           return true;
         }
         *error = "--classic-fail-write-after takes a number of block writes";
         return false;
       }},
      {"--classic-refuse-writes", "FROM:COUNT",
       "block writes number FROM to FROM+COUNT-1 (counted from 1)\n"
       "get a failure status; later ones succeed again",
       [classic](const std::string& value, std::string* error) {
         return TakeClassicRefusal(value, classic, error);
       }},
      {"--classic-short-reply", "", "data replies carry one data byte less than they should",
       Set(&classic->short_data, true)},
      {"--classic-garbage-reply", "", "every reply has a bad sync byte, status and checksum",
       Set(&classic->garbage, true)},
  };
}

// Every option of lumaro-sim, in the order --help lists them.
std::vector<Option> SimOptionTable(SimOptions* o, bool* help) {
  std::vector<Option> table = PlaybackOptions(o);
  for (Option& option : ClassicOptions(&o->classic)) table.push_back(std::move(option));
  cli::AddStandardOptions(&table, help, &o->version);
  return table;
}

}  // namespace

std::string SimHelp() {
  SimOptions options;
  bool help = false;
  return kSynopsis + cli::OptionHelp(SimOptionTable(&options, &help)) + kExitStatus;
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error) {
  *help = false;
  cli::ParseSetup setup;
  setup.rest_after_dashes = true;
  setup.operand = [options](const std::string& arg, std::string* error) {
    if (options->trace_path.empty()) {
      options->trace_path = arg;
      return true;
    }
    *error = "more than one trace given: '" + arg + "' (put the command after --)";
    return false;
  };
  const std::vector<Option> table = SimOptionTable(options, help);
  if (!cli::ParseOptions(table, setup, args, &options->command, error)) return false;
  if (*help || options->version) return true;
  if (options->trace_path.empty()) {
    *error = "no trace given";
    return false;
  }
  if (options->command.empty()) {
    *error = "no command given after --";
    return false;
  }
  return true;
}

}  // namespace lumaro::sim
