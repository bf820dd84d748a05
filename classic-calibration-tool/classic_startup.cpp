#include "classic-calibration-tool/classic_startup.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "classic-calibration-tool/classic_flow.h"
#include "driver-interface/requests.h"

namespace lumaro {

ClassicCommand ParseClassicCommandLine(int argc, const char* const* argv) {
  if (argc != 2) return ClassicCommand::kCalibrate;
  if (std::strcmp(argv[1], "--reset") == 0) return ClassicCommand::kReset;
  return ClassicCommand::kUsage;
}

void ClassicBanner(std::FILE* out) {
  static constexpr char kStars[] =
      "****************************************************************************";
  static constexpr char kBlankRow[] =
      "*                                                                          *";
  std::fprintf(out, "\n%s\n%s\n", kStars, kBlankRow);
  std::fprintf(out, "*%26s%-48s*\n", "", "Lumaro Device");
  for (int i = 0; i < 5; ++i) std::fprintf(out, "%s\n", kBlankRow);
  std::fprintf(out, "*%26s%-48s*\n", "", "Version: 1.0.2");
  std::fprintf(out, "%s\n%s\n\n", kBlankRow, kStars);
  std::fflush(out);
}

void ClassicUsage(std::FILE* out) {
  static constexpr const char* kLines[] = {
      "Usage: tapalign [OPTION] \n",
      "[OPTION]:",
      "\t-reset\tReset the device for non-calibration status.",
      "\t--help\tDisplay this help and exit\n",
      "Example: ./tapalign -reset\n",
  };
  for (const char* line : kLines) std::fprintf(out, "%s\n", line);
  std::fflush(out);
}

bool BeginClassic(ClassicContext& c, ClassicChannel& ch, int argc, const char* const* argv,
                  std::FILE* out, std::FILE* err, const std::function<void()>& clear_terminal,
                  bool* failed) {
  bool unused = false;
  if (failed == nullptr) failed = &unused;
  *failed = false;
  c.fd = ch.io.Open(kClassicNodePath, O_RDWR);
  if (c.fd < 0) {
    std::fprintf(err, "tapalign-classic: cannot open %s: %s\n", kClassicNodePath,
                 std::strerror(errno));
    std::fflush(err);
    *failed = true;
    return false;
  }
  ch.fd = c.fd;
  config_read(ch, c.config);
  c.saved_main = c.config.main;

  if (argc == 2) {
    if (ParseClassicCommandLine(argc, argv) == ClassicCommand::kReset) {
      *failed = !ClassicReset(c, ch, err);
    } else {
      clear_terminal();
      ClassicBanner(out);
      ClassicUsage(out);
    }
    ch.io.Close(c.fd);
    return false;
  }

  SendClassicFlag(ch, CLASSIC_CALIB_BEGIN);
  std::copy_n(c.config.main.begin() + classic_record::kRawSpanOffset, c.raw_span.size(),
              c.raw_span.begin());
  c.point_count = kClassicPoints;
  c.contact_taken = 0;
  return true;
}

}  // namespace lumaro
