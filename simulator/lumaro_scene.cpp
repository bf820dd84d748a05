// lumaro-scene SCENE.lscene > TRACE.ltrace: renders a scene file (standard
// input for "-") into a trace, with the ground truth of every scan as
// `# truth` comment lines.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "simulator/scene/scene_file.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumaro-scene";
constexpr char kUsage[] = "usage: lumaro-scene SCENE.lscene > TRACE.ltrace\n";
constexpr char kAbout[] =
    "Renders a scene (- for standard input) into a trace on standard output, with\n"
    "the true finger positions of every scan as '# truth' lines.\n";
constexpr char kExitStatus[] =
    "Exit status: 0 done, 1 output cannot be written, 64 usage error,\n"
    "65 input unreadable or malformed.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  const int status =
      cli::ParseCommandLine({kProgram, kUsage, kAbout, kExitStatus}, {},
                            cli::ParseSetup::Collecting(&inputs), cli::Arguments(argc, argv));
  if (status != cli::kParsed) return status;
  if (inputs.size() != 1) {
    return cli::UsageError(kProgram, inputs.empty() ? "no scene given" : "more than one scene",
                           kUsage);
  }
  const std::string& input = inputs[0];
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
