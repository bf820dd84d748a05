#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"

namespace lumaro::cli {
namespace {

struct Parsed {
  std::string rate;
  bool quiet = false;
  bool help = false;
  std::vector<std::string> operands;
  std::vector<std::string> rest;
};

std::vector<Option> Table(Parsed* p) {
  return {
      {"--rate", "N", "frames per second",
       [p](const std::string& value, std::string*) {
         p->rate = value;
         return true;
       }},
      Option::Heading("Quiet:"),
      {"--quiet", "", "say nothing\nat all",
       [p](const std::string&, std::string*) { return p->quiet = true; }},
      {"--help", "", "this text", [p](const std::string&, std::string*) { return p->help = true; },
       "-h", true},
  };
}

// The arguments parsed against Table; the error, empty when they parse.
std::string Parse(const std::vector<std::string>& args, Parsed* p) {
  ParseSetup setup = ParseSetup::Collecting(&p->operands);
  setup.rest_after_dashes = true;
  std::string error;
  const std::vector<Option> table = Table(p);
  return ParseOptions(table, setup, args, &p->rest, &error) ? "" : error;
}

// The plain mistakes (an unknown --name, a missing value, a flag given one,
// a value its option refuses) are pinned by the cli table end to end.
TEST(Options, EachMistakeIsNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--bogus=1"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"--help=1"}, "--help takes no value"},
  };
  for (const auto& [args, want] : cases) {
    Parsed p;
    EXPECT_EQ(Parse(args, &p), want) << args[0];
  }
  Parsed ok;
  EXPECT_EQ(Parse({"a", "--rate=7=8", "-", "--quiet", "--", "--bogus"}, &ok), "");
  EXPECT_EQ(ok.rate, "7=8");
  EXPECT_EQ(ok.operands, (std::vector<std::string>{"a", "-"}));
  EXPECT_EQ(ok.rest, (std::vector<std::string>{"--bogus"}));
  // --help ends the parsing: what follows it is not looked at.
  Parsed p;
  EXPECT_EQ(Parse({"-h", "--bogus"}, &p), "");
  EXPECT_TRUE(p.help);
}

TEST(Options, UnknownArgumentsCanBePassedOver) {
  Parsed p;
  ParseSetup setup;
  setup.ignore_unknown = true;
  std::string error;
  const std::vector<Option> table = Table(&p);
  EXPECT_TRUE(ParseOptions(table, setup, {"x", "--bogus=1", "-x", "--rate", "5"}, nullptr, &error));
  EXPECT_EQ(p.rate, "5");
  EXPECT_FALSE(ParseOptions(table, setup, {"--bogus", "--rate"}, nullptr, &error));
  EXPECT_EQ(error, "--rate needs a value");
}

TEST(Options, HelpComesFromTheTable) {
  Parsed p;
  // The help beside a name that leaves it two spaces, below a wider one.
  EXPECT_EQ(OptionHelp(Table(&p), 13),
            "  --rate N   frames per second\n"
            "Quiet:\n"
            "  --quiet    say nothing\n"
            "             at all\n"
            "  --help, -h\n"
            "             this text\n");
}

// A replaced file gets the mode a newly created one would, not mkstemp's
// private one.
TEST(AtomicFile, WrittenFileGetsTheUsualMode) {
  char dir[] = "/tmp/lumaro-cli-test.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/out";
  const mode_t mask = umask(022);
  std::string error;
  EXPECT_TRUE(WriteFileAtomically(path, "text\n", &error)) << error;
  umask(mask);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  unlink(path.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace lumaro::cli
