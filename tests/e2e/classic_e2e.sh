#!/usr/bin/env bash
# The classic calibration tool end to end: the real tapalign-classic on its
# own Xvfb screen, under the simulator's classic controller, touched through
# scripted events and clicked with xdotool; checked from the controller's
# stored blocks, the requests it received, and screenshots.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/calib_lib.sh"
W=1920 H=1080
use_classic
start_xvfb
TOUCHES="$DATA/classic-touches.records"

case_calibration_then_ok() {
  calibrate_then_ok "$TOUCHES"
  # Buttons at x 830-915, 920-1005, 1010-1095, y 525-575.
  pixels_are "$WORK/result.png" 550 "$GREY" "no button fill at" 834 911 924 1001 1014 1091
  pixels_are "$WORK/result.png" 550 "$BLACK" "button area reaches" 826 917 1007 1099
  [ "$(pixel "$WORK/result.png" 960 529)" = "$GREY" ] || fail "button top"
  [ "$(pixel "$WORK/result.png" 960 579)" = "$BLACK" ] || fail "below the buttons"
  # Below the buttons, the residual line.
  [ "$(lit_pixels "$WORK/result.png" 500x20+710+585)" -gt 50 ] || fail "no residual line"
  [ -z "${LUMARO_SCREENSHOTS:-}" ] || cp "$WORK/result.png" "$LUMARO_SCREENSHOTS/classic-result.png"
  # The bilinear map of the touches in segment 3, flagged calibrated, the rest
  # as it was.
  expect_stored "$DATA/classic-stored.records"
  expect_grep "$WORK/sim.log" '^ioctl 246 0'
}

# Four touches on one spot: the face says nothing was stored, and Ok keeps
# the record.
case_failed_fit_line() {
  sed -E 's/^event (0[67])00.{8}/event \100e9018a01/' "$TOUCHES" >"$WORK/spot"
  calibrate_until_result "$WORK/spot"
  screenshot "$WORK/failed.png"
  [ "$(lit_pixels "$WORK/failed.png" 500x20+710+585)" -gt 50 ] || fail "no line on a failed fit"
  [ -z "${LUMARO_SCREENSHOTS:-}" ] || cp "$WORK/failed.png" "$LUMARO_SCREENSHOTS/classic-failed-fit.png"
  press_ok
  finish_tool
  [ "$TOOL_STATUS" = 1 ] || fail "status $TOOL_STATUS"
  expect_grep "$WORK/tool-stderr.log" 'nothing stored: the fit failed'
  expect_no_grep "$WORK/sim.log" '^classic write'
}

# interrupted CAUSE PHASE: CAUSE (INT, TERM, HUP: that signal; X: the X server
# killed) in PHASE: collecting, result, or inside the record write after Ok
# (write1, write14, write27: once that many of its 29 block writes were
# logged). Before Ok calibration mode is left and nothing is written; inside
# the write the write finishes and the record is the new one whole.
case_interrupted() {
  local cause=$1 phase=$2
  if [ "$phase" = collecting ]; then
    collect_until_crosshair
  else
    calibrate_until_result "$TOUCHES"
  fi
  if [ "${phase#write}" != "$phase" ]; then
    press_ok
    wait_for 60 "block write ${phase#write}" log_has "$WORK/sim.log" '^classic write' "${phase#write}"
  fi
  interrupt "$cause"
  finish_tool
  if [ "$phase" = collecting ] || [ "$phase" = result ]; then
    expect_interrupted "$cause"
    expect_no_grep "$WORK/sim.log" '^classic write'
    [ "$(grep -E '^ioctl 24[0-6] ' "$WORK/sim.log" | tail -n 1)" = "ioctl 241 0 01" ] ||
      fail "calibration mode not left last"
    return
  fi
  expect_grep "$WORK/tool.out" '^Writing the calibration to the controller'
  if [ "$cause" = X ]; then
    [ "$TOOL_STATUS" = 0 ] || fail "status $TOOL_STATUS"  # the window was gone already
  else
    expect_interrupted "$cause" "the request was carried out first"
  fi
  expect_stored "$DATA/classic-stored.records"  # the new record whole
}

run_case "$@"
