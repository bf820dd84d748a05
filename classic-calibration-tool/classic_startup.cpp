#include "classic-calibration-tool/classic_startup.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "classic-calibration-tool/classic_flow.h"
#include "driver-interface/requests.h"

namespace lumaro {

ClassicCommand ParseClassicCommandLine(int argc, const char* const* argv) {
  return ParseCommand<ClassicCommand>(kClassicOptions, argc, argv, ClassicCommand::kCalibrate,
                                      ClassicCommand::kUsage);
}

void ClassicBanner(std::FILE* out) {
  PrintBannerText(out, {26, "Lumaro Device", 5, 26, kClassicBannerVersion});
}

void ClassicUsage(std::FILE* out) {
  static constexpr const char* kPreamble[] = {"Usage: tapalign [OPTION] \n"};
  PrintUsageText<ClassicCommand>(out, {kPreamble, 0, "Example: ./tapalign -reset"},
                                 kClassicOptions);
}

SessionStart BeginClassic(ClassicContext& c, ClassicChannel& ch, int argc, const char* const* argv,
                          std::FILE* out, const std::function<void()>& clear_terminal) {
  if (AnswerVersion(argc, argv, "tapalign-classic", kClassicBannerVersion, out)) return {};
  ch.fd = ch.io.Open(kClassicNodePath, O_RDWR);
  if (ch.fd < 0) {
    return {false, std::string("cannot open ") + kClassicNodePath + ": " + std::strerror(errno)};
  }
  const bool reset = ParseClassicCommandLine(argc, argv) == ClassicCommand::kReset;
  if (reset) {
    // Reading and writing the record take some seconds each.
    std::fputs(
        "Resetting the calibration: reading and rewriting the controller's record "
        "(a few seconds)...\n",
        out);
    std::fflush(out);
  }
  config_read(ch, c.config);
  c.saved_main = c.config.main;

  if (argc == 2) {
    SessionStart end;
    if (reset) {
      end.failure = ClassicReset(c, ch);
      std::fputs(end.failure.empty() ? "Reset done.\n" : "Reset not done.\n", out);
      std::fflush(out);
    } else {
      clear_terminal();
      ClassicBanner(out);
      ClassicUsage(out);
    }
    ch.io.Close(ch.fd);
    return end;
  }

  SendClassicFlag(ch, CLASSIC_CALIB_BEGIN);
  std::copy_n(c.config.main.begin() + classic_record::kRawSpanOffset, c.raw_span.size(),
              c.raw_span.begin());
  c.point_count = kClassicPoints;
  c.contact_taken = 0;
  return {true, ""};
}

}  // namespace lumaro
