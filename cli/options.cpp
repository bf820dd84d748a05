#include "cli/options.h"

#include "cli/cli.h"

namespace lumaro::cli {
namespace {

const Option* Find(std::span<const Option> table, const std::string& name) {
  for (const Option& option : table) {
    if (!option.name.empty() && (option.name == name || option.alias == name)) return &option;
  }
  return nullptr;
}

bool IsOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

}  // namespace

bool ParseOptions(std::span<const Option> table, const ParseSetup& setup,
                  const std::vector<std::string>& args, std::vector<std::string>* rest,
                  std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (setup.rest_after_dashes && arg == "--") {
      if (rest != nullptr)
        rest->assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      return true;
    }
    if (!IsOption(arg)) {
      if (setup.operand && !setup.operand(arg, error)) return false;
      continue;
    }
    // --name=value; a single-dash name keeps its '=' (it is unknown anyway).
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const Option* option = Find(table, name);
    if (option == nullptr && setup.ignore_unknown) continue;
    if (option == nullptr) {
      *error = "unknown option " + name;
      return false;
    }
    std::string value;
    if (option->value.empty()) {
      if (equals != std::string::npos) {
        *error = name + " takes no value";
        return false;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 == args.size()) {
      *error = name + " needs a value";
      return false;
    } else {
      value = args[++i];
    }
    if (option->take && !option->take(value, error)) return false;
    if (option->stops) return true;
  }
  return true;
}

std::string OptionHelp(std::span<const Option> table, std::size_t column) {
  std::string out;
  const std::string indent(column, ' ');
  for (const Option& option : table) {
    if (option.name.empty()) {
      out += option.help + "\n";
      continue;
    }
    std::string head = "  " + option.name;
    if (!option.alias.empty()) head += ", " + option.alias;
    if (!option.value.empty()) head += " " + option.value;
    out += head;
    // The help's first line beside the name when it fits, else below it.
    if (head.size() + 2 <= column) {
      out += std::string(column - head.size(), ' ');
    } else {
      out += "\n" + indent;
    }
    for (const char ch : option.help) {
      out += ch;
      if (ch == '\n') out += indent;
    }
    out += "\n";
  }
  return out;
}

void AddStandardOptions(std::vector<Option>* table, bool* help, bool* version) {
  auto set = [](bool* flag) {
    return [flag](const std::string&, std::string*) { return *flag = true; };
  };
  table->push_back({"--help", "", "this text", set(help), "-h", true});
  table->push_back({"--version", "", "the version", set(version), "", true});
}

int ParseCommandLine(const ProgramText& program, std::vector<Option> table, const ParseSetup& setup,
                     const std::vector<std::string>& args, std::vector<std::string>* rest) {
  bool help = false, version = false;
  AddStandardOptions(&table, &help, &version);
  std::string error;
  if (!ParseOptions(table, setup, args, rest, &error)) {
    return UsageError(program.name, error, program.usage.c_str());
  }
  if (help) {
    const std::string text = program.usage + program.about + OptionHelp(table) + program.after;
    return PrintHelp(program.name, text.c_str());
  }
  if (version) return PrintVersion(program.name);
  return kParsed;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace lumaro::cli
