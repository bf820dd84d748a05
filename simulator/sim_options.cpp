#include "simulator/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "trace/trace.h"

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

bool TakesValue(const std::string& option) {
  static constexpr const char* kValueOptions[] = {"--rate",
                                                  "--packet-rate",
                                                  "--linger",
                                                  "--log",
                                                  "--state-out",
                                                  "--node-group",
                                                  "--short-read-every",
                                                  "--fail-every",
                                                  "--classic-fail-read",
                                                  "--classic-fail-write-after",
                                                  "--classic-refuse-writes"};
  for (const char* known : kValueOptions) {
    if (option == known) return true;
  }
  return false;
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
    if (arg == "--version") {
      options->version = true;
      return true;
    }
    if (arg == "--no-usb") {
      options->usb_device = false;
      continue;
    }
    if (arg == "--classic-short-reply") {
      options->classic.short_data = true;
      continue;
    }
    if (arg == "--classic-garbage-reply") {
      options->classic.garbage = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) != 0) {
      *error = "unknown option " + arg;
      return false;
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
    }
    if (arg == "--no-usb" || arg == "--classic-short-reply" || arg == "--classic-garbage-reply" ||
        arg == "--help" || arg == "--version") {
      *error = arg + " takes no value";
      return false;
    }
    if (!TakesValue(arg)) {
      *error = "unknown option " + arg;
      return false;
    }
    if (equals == std::string::npos) {
      if (i + 1 == args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      value = args[++i];
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
    } else if (arg == "--short-read-every" || arg == "--fail-every") {
      double n = 0;
      if (!ParsePositive(value, 1e9, &n) || n < 1 || n != static_cast<int>(n)) {
        *error = arg + " takes a whole number from 1";
        return false;
      }
      (arg == "--fail-every" ? options->faults.fail_every : options->faults.short_read_every) =
          static_cast<int>(n);
    } else if (arg == "--node-group") {
      if (value.empty()) {
        *error = "--node-group takes a group name or number";
        return false;
      }
      options->node_group = value;
    } else if (arg == "--linger") {
      if (!ParsePositive(value, 3600, &options->linger)) {
        *error = "--linger takes a number of seconds from 0 to 3600";
        return false;
      }
    } else if (arg == "--classic-fail-read") {
      std::pair<std::uint32_t, std::uint32_t> block;
      if (!ParseClassicBlock(value, &block)) {
        *error =
            "--classic-fail-read takes TARGET:BLOCK, target 0x80 (blocks 0 to 31) or 0 to 3 "
            "(blocks 0 to 3)";
        return false;
      }
      options->classic.failing_reads.insert(block);
    } else if (arg == "--classic-fail-write-after") {
      std::uint64_t count = 0;
      if (!ParseUnsigned(value, UINT32_MAX, &count)) {
        *error = "--classic-fail-write-after takes a number of block writes";
        return false;
      }
      options->classic.writes_before_failure = count;
    } else if (arg == "--classic-refuse-writes") {
      const std::size_t colon = value.find(':');
      std::uint64_t from = 0;
      std::uint64_t count = 0;
      if (colon == std::string::npos || !ParseUnsigned(value.substr(0, colon), UINT32_MAX, &from) ||
          !ParseUnsigned(value.substr(colon + 1), UINT32_MAX, &count) || from == 0) {
        *error = "--classic-refuse-writes takes FROM:COUNT, FROM from 1";
        return false;
      }
      options->classic.refused_writes_from = from;
      options->classic.refused_writes_count = count;
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
