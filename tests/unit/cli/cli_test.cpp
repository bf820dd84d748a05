#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
       [p](const std::string& value, std::string* error) {
         if (value == "bad") {
           *error = "--rate takes a number";
           return false;
         }
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
std::string Parse(const std::vector<std::string>& args, Parsed* p, bool dashes = true) {
  ParseSetup setup;
  setup.rest_after_dashes = dashes;
  setup.operand = [p](const std::string& arg, std::string*) {
    p->operands.push_back(arg);
    return true;
  };
  std::string error;
  const std::vector<Option> table = Table(p);
  return ParseOptions(table, setup, args, &p->rest, &error) ? "" : error;
}

TEST(Options, ValuesFlagsOperandsAndTheRest) {
  Parsed p;
  EXPECT_EQ(Parse({"a", "--rate", "5", "-", "--quiet", "--", "cmd", "--rate"}, &p), "");
  EXPECT_EQ(p.rate, "5");
  EXPECT_TRUE(p.quiet);
  EXPECT_EQ(p.operands, (std::vector<std::string>{"a", "-"}));
  EXPECT_EQ(p.rest, (std::vector<std::string>{"cmd", "--rate"}));

  Parsed q;
  EXPECT_EQ(Parse({"--rate=", "--rate=7=8"}, &q), "");
  EXPECT_EQ(q.rate, "7=8");
  // Without the rest after "--", "--" is an unknown option.
  Parsed r;
  EXPECT_EQ(Parse({"--"}, &r, false), "unknown option --");
}

TEST(Options, EachMistakeIsNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--bogus"}, "unknown option --bogus"},
      {{"--bogus=1"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"--rate"}, "--rate needs a value"},
      {{"--quiet=1"}, "--quiet takes no value"},
      {{"--rate", "bad"}, "--rate takes a number"},
      {{"--help=1"}, "--help takes no value"},
  };
  for (const auto& [args, want] : cases) {
    Parsed p;
    EXPECT_EQ(Parse(args, &p), want) << args[0];
  }
  // --help ends the parsing: what follows it is not looked at.
  Parsed p;
  EXPECT_EQ(Parse({"-h", "--bogus"}, &p), "");
  EXPECT_TRUE(p.help);
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

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cli-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_),
                                                  std::filesystem::directory_iterator()));
  }
  std::string dir_;
};

TEST_F(TempDir, AFileIsReplacedOnlyWhenCommitted) {
  const std::string path = Path("out");
  std::ofstream(path) << "old";
  std::string error;
  {
    AtomicFile file;
    ASSERT_TRUE(file.Open(path, &error)) << error;
    std::fputs("new", file.stream());
    EXPECT_EQ(Contents(path), "old");
  }  // not committed: the temporary file goes, the old one stays
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(Entries(), 1u);
  ASSERT_TRUE(WriteFileAtomically(path, "new", &error)) << error;
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(Entries(), 1u);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

}  // namespace
}  // namespace lumaro::cli
