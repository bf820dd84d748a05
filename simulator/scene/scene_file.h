// Scene files (.lscene): a scene as text, one directive per line.
//
//   lumaro-scene 1                       first line
//   title TEXT                           free text
//   scans N                              length of the scene
//   coding full|half|alternate           line image coding (default full)
//   orientation N                        camera B lens byte 0 (bits 0-1: half 0 is camera A)
//   lens a|b C0 .. C8 GAIN START END     a lens block (default: c1 1.15, gain 1, 0 .. 640)
//   calibration x|y C0 .. C9             a stored calibration (the controller is calibrated)
//   noise N                              shadow edges jitter by up to N samples
//   seed N                               seed of the jitter
//   finger RADIUS                        a new finger (radius in baseline units)
//   key SCAN X Y                         a keyframe of the latest finger
//   circle FROM TO CX CY R TURNS PHASE   keyframes along a circle, one per scan
//   event SCAN reinit|readerr ERRNO|unplug MS|readzero|drop
//                                        drop: the scan's first half-frame is lost
//   dirt a|b FIRST END                   a permanent shadow on samples FIRST .. END - 1
//   blocked a|b [FROM TO]                no light, in every scan or from scan FROM to TO
//   flicker a|b RATE                     single-scan specks and holes, RATE per 100 scans
//                                        (pseudo-random from the seed, so reproducible)
//
// Empty lines and lines starting with '#' are ignored; anything else is an
// error that names the line.
#pragma once

#include <string>
#include <string_view>

#include "simulator/scene/scene.h"

namespace lumaro::sim {

bool ParseScene(std::string_view text, Scene* scene, std::string* error);
bool LoadSceneFile(const std::string& path, Scene* scene, std::string* error);

}  // namespace lumaro::sim
