// lumaro-scene SCENE.lscene > TRACE.ltrace: renders a scene file (standard
// input for "-") into a trace, with the ground truth of every scan as
// `# truth` comment lines.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "simulator/scene/scene_file.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-scene";
constexpr char kUsage[] = "usage: lumaro-scene SCENE.lscene > TRACE.ltrace\n";
constexpr char kHelp[] =
    "usage: lumaro-scene SCENE.lscene > TRACE.ltrace\n"
    "Renders a scene (- for standard input) into a trace on standard output, with\n"
    "the true finger positions of every scan as '# truth' lines.\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable or malformed.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string input;
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return cli::PrintHelp(kProgram, kHelp);
    if (arg == "--version") return cli::PrintVersion(kProgram);
    if (arg.size() > 1 && arg[0] == '-') {
      return cli::UsageError(kProgram, "unknown option " + arg, kUsage);
    }
    input = arg;
    ++inputs;
  }
  if (inputs != 1) {
    return cli::UsageError(kProgram, inputs == 0 ? "no scene given" : "more than one scene",
                           kUsage);
  }
  std::string text, error;
  lumaro::sim::Scene scene;
  if (!cli::ReadInput(input, &text, &error)) return cli::Fail(kProgram, error, cli::kBadInput);
  if (!lumaro::sim::ParseScene(text, &scene, &error)) {
    return cli::Fail(kProgram, (input == "-" ? "standard input" : input) + ": " + error,
                     cli::kBadInput);
  }
  const std::string trace = lumaro::sim::RenderTrace(scene);
  std::fwrite(trace.data(), 1, trace.size(), stdout);
  return cli::FlushStdout(&error) ? cli::kOk : cli::Fail(kProgram, error, cli::kFailed);
}
