// lumaro-scene NAME [SEED]: writes a generated scene as a trace on standard
// output. NAME is "demo" or "random".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/scene.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: lumaro-scene demo|random [SEED]\n");
    return 2;
  }
  const std::uint32_t seed =
      argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
  lumaro::tools::Scene scene;
  if (!lumaro::tools::MakeScene(argv[1], seed, &scene)) {
    std::fprintf(stderr, "lumaro-scene: no scene named %s\n", argv[1]);
    return 2;
  }
  std::fputs(lumaro::tools::SceneTrace(scene).c_str(), stdout);
  return 0;
}
