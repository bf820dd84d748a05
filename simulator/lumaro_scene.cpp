// lumaro-scene SCENE.lscene > TRACE.ltrace: renders a scene file into a
// trace, with the ground truth of every scan as `# truth` comment lines.
#include <cstdio>
#include <string>

#include "simulator/scene/scene_file.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: lumaro-scene SCENE.lscene > TRACE.ltrace\n");
    return 2;
  }
  lumaro::sim::Scene scene;
  std::string error;
  if (!lumaro::sim::LoadSceneFile(argv[1], &scene, &error)) {
    std::fprintf(stderr, "lumaro-scene: %s\n", error.c_str());
    return 2;
  }
  const std::string trace = lumaro::sim::RenderTrace(scene);
  return std::fwrite(trace.data(), 1, trace.size(), stdout) == trace.size() ? 0 : 1;
}
