// One table per program's options: each option's name, value, help text and
// what it does, listed once. The parser and the --help text both come from
// the table, so the two cannot drift apart.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace lumaro::cli {

// Takes an option's value (empty for a flag); false with *error set when the
// value is not acceptable.
using OptionAction = std::function<bool(const std::string& value, std::string* error)>;

struct Option {
  Option(std::string name, std::string value, std::string help, OptionAction take,
         std::string alias = {}, bool stops = false)
      : name(std::move(name)),
        value(std::move(value)),
        help(std::move(help)),
        take(std::move(take)),
        alias(std::move(alias)),
        stops(stops) {}
  // A line of its own between the options in the help.
  static Option Heading(std::string text) { return Option({}, {}, std::move(text), nullptr); }

  std::string name;   // "--rate", "-o"; empty: `help` is a heading line
  std::string value;  // the value's name in the help ("N", "FILE"); empty: a flag
  std::string help;   // one line or more, '\n' between them
  OptionAction take;
  std::string alias;  // another spelling ("-h"), or empty
  bool stops;         // parsing ends after it (--help, --version)
};

struct ParseSetup {
  // Called for each argument that is not an option ("-" is one); none: such
  // arguments are passed over.
  OptionAction operand;
  // An option the table does not know is passed over instead of refused.
  bool ignore_unknown = false;
  // "--" ends the options; the arguments after it land in *rest.
  bool rest_after_dashes = false;

  // A set-up that appends each operand to *operands.
  static ParseSetup Collecting(std::vector<std::string>* operands) {
    ParseSetup setup;
    setup.operand = [operands](const std::string& arg, std::string*) {
      operands->push_back(arg);
      return true;
    };
    return setup;
  }
};

// Walks `args` against `table`. An option takes its value from the next
// argument or after "=". False with *error set for an unknown option
// ("unknown option X"), a missing value ("X needs a value"), a value given
// to a flag ("X takes no value"), or an action or operand that refused.
bool ParseOptions(std::span<const Option> table, const ParseSetup& setup,
                  const std::vector<std::string>& args, std::vector<std::string>* rest,
                  std::string* error);

// The options' part of --help: "  NAME VALUE" and the help beside it from
// column `column`, or below it when the name is wider.
std::string OptionHelp(std::span<const Option> table, std::size_t column = 20);

// What a program says about itself around its options.
struct ProgramText {
  const char* name;   // "lumaro-record"
  std::string usage;  // the "usage: ..." lines, also shown with a usage error
  std::string about;  // in --help, between the usage and the options
  std::string after;  // in --help, after the options (the exit statuses)
};

// The --help and --version entries every program has.
void AddStandardOptions(std::vector<Option>* table, bool* help, bool* version);

// Parses args against `table` and the standard options, and answers --help
// (its text from the table), --version and a usage error itself.
// kParsed to go on; otherwise the status to exit with.
inline constexpr int kParsed = -1;
int ParseCommandLine(const ProgramText& program, std::vector<Option> table, const ParseSetup& setup,
                     const std::vector<std::string>& args,
                     std::vector<std::string>* rest = nullptr);

// argv[1..] as strings.
std::vector<std::string> Arguments(int argc, char** argv);

}  // namespace lumaro::cli
