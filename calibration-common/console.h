// A calibration tool's console: its command line as one table (the single
// argument that selects each command, the name and help line the usage text
// shows for it) and its banner. Only a single argument is examined; the usage
// text is generated from the table, so an option cannot be parsed without
// being listed, or listed without being parsed.
#pragma once

#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace lumaro {

template <typename Command>
struct CommandOption {
  const char* argument;  // the exact single argument that selects `command`
  const char* shown;     // the option's name in the usage text; null for a
                         // second spelling of the option listed above it
  const char* help;
  Command command;
};

struct UsageLayout {
  std::span<const char* const> preamble;  // lines before "[OPTION]:", verbatim
  int name_width;                         // the name column's width; 0: a tab follows the name
  const char* example;                    // the last line
};

// With exactly one argument, the command of the option whose argument it
// equals, else `usage`; with none or several, `otherwise`.
template <typename Command>
Command ParseCommand(std::span<const CommandOption<Command>> options, int argc,
                     const char* const* argv, Command otherwise, Command usage) {
  if (argc != 2) return otherwise;
  for (const CommandOption<Command>& option : options) {
    if (std::strcmp(argv[1], option.argument) == 0) return option.command;
  }
  return usage;
}

// The preamble, "[OPTION]:", one line per option (a tab, the name, its
// column, the help), an empty line, the example and an empty line.
template <typename Command>
void PrintUsageText(std::FILE* out, const UsageLayout& layout,
                    std::span<const CommandOption<Command>> options) {
  for (const char* line : layout.preamble) std::fprintf(out, "%s\n", line);
  std::fputs("[OPTION]:\n", out);
  for (const CommandOption<Command>& option : options) {
    if (option.shown == nullptr) continue;
    if (layout.name_width > 0) {
      std::fprintf(out, "\t%-*s%s\n", layout.name_width, option.shown, option.help);
    } else {
      std::fprintf(out, "\t%s\t%s\n", option.shown, option.help);
    }
  }
  std::fprintf(out, "\n%s\n\n", layout.example);
  std::fflush(out);
}

// "--version" alone: answered before the tool touches any device, so that it
// works on a machine without the controller. Writes "PROGRAM VERSION".
inline bool AnswerVersion(int argc, const char* const* argv, const char* program,
                          const char* version, std::FILE* out) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::fprintf(out, "%s %s\n", program, version);
  std::fflush(out);
  return true;
}

// The banner's rows between its frames: a title and a version, each at its
// indent inside the box, with blank rows between them.
struct BannerText {
  int title_indent;
  const char* title;
  int blank_rows;  // between the title and the version
  int version_indent;
  const char* version;  // shown as "Version: VERSION"
};

// The banner, line by line: an empty line, a row of 76 asterisks, a blank box
// row, the title row, the blank rows, the version row, a blank box row, the
// asterisks and an empty line. Box rows are "*", 74 characters and "*".
inline void PrintBannerText(std::FILE* out, const BannerText& banner) {
  constexpr int kInside = 74;
  const std::string stars(kInside + 2, '*');
  auto row = [out](int indent, const std::string& text) {
    std::fprintf(out, "*%*s%-*s*\n", indent, "", kInside - indent, text.c_str());
  };
  std::fprintf(out, "\n%s\n", stars.c_str());
  row(0, "");
  row(banner.title_indent, banner.title);
  for (int i = 0; i < banner.blank_rows; ++i) row(0, "");
  row(banner.version_indent, std::string("Version: ") + banner.version);
  row(0, "");
  std::fprintf(out, "%s\n\n", stars.c_str());
  std::fflush(out);
}

}  // namespace lumaro
