#include "simulator/sim_options.h"

#include <cmath>
#include <cstdlib>

namespace lumaro::sim {
namespace {

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

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error) {
  *help = false;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
    if (arg == "--no-usb") {
      options->usb_device = false;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (!options->trace_path.empty()) {
        *error = "more than one trace given: '" + arg + "' (put the command after --)";
        return false;
      }
      options->trace_path = arg;
      continue;
    }
    std::string value;
    const std::size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = arg + " needs a value";
      return false;
    }
    if (arg == "--no-usb") {
      *error = "--no-usb takes no value";
      return false;
    }
    if (arg == "--rate") {
      if (!ParsePositive(value, 1e6, &options->rate) || options->rate <= 0) {
        *error = "--rate takes a number of frames per second above 0";
        return false;
      }
    } else if (arg == "--packet-rate") {
      if (!ParsePositive(value, 1e6, &options->packet_rate) || options->packet_rate <= 0) {
        *error = "--packet-rate takes a number of packets per second above 0";
        return false;
      }
    } else if (arg == "--linger") {
      if (!ParsePositive(value, 3600, &options->linger)) {
        *error = "--linger takes a number of seconds from 0 to 3600";
        return false;
      }
    } else if (arg == "--log") {
      options->log_path = value;
    } else if (arg == "--state-out") {
      options->state_out_path = value;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (options->trace_path.empty()) {
    *error = "no trace given";
    return false;
  }
  if (i >= args.size() || i + 1 == args.size()) {
    *error = "no command given after --";
    return false;
  }
  options->command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  return true;
}

}  // namespace lumaro::sim
