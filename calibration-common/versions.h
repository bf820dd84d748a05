// The versions the calibration tools show: tapalign the same one in its banner
// and window; tapalign-classic one in its banner and another in its window.
#pragma once

namespace lumaro {

inline constexpr char kCalibVersion[] = "1.7.1310.2501";
inline constexpr char kClassicBannerVersion[] = "1.0.2";
inline constexpr char kClassicWindowVersion[] = "1.7.1.4586";

}  // namespace lumaro
