#include "calibration-common/calib_main.h"

#include <cstdlib>

namespace lumaro {

void ClearTerminal() {
  std::fflush(stdout);
  const int status = std::system("clear");
  (void)status;  // a terminal that cannot be cleared changes nothing
}

bool ShowCalibrationWindow(CalibDisplay& d, const char* program, const WindowSetup& setup,
                           std::FILE* err) {
  if (!OpenCalibDisplay(d, program, err)) return false;
  if (SetUpCalibrationWindow(d, setup, program)) {
    if (!d.keyboard_grabbed) {
      std::fprintf(err,
                   "%s: the keyboard could not be grabbed; Escape works while the window has "
                   "the focus\n",
                   program);
    }
    return true;
  }
  std::fprintf(err, "%s: no font can be loaded\n", program);
  ReleaseCalibDisplay(d);
  return false;
}

int FailWithoutWindow(DeviceIo& io, int fd, const std::function<void()>& leave_calibration) {
  leave_calibration();
  io.Close(fd);
  return 1;
}

}  // namespace lumaro
