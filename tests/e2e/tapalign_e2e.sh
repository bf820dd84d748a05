#!/usr/bin/env bash
# The calibration tool end to end: the real tapalign on its own Xvfb screen
# (1920 x 1080), under the controller simulator, touched through scripted
# packets and clicked with xdotool; checked from the controller's stored
# state and from screenshots.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/calib_lib.sh"
W=1920 H=1080
use_tapalign
start_xvfb

# The fit of the scripted pass; bytes 40 to 57 of the coefficient blocks, and
# DeviceConfig but CalibState, as they were.
case_four_points_then_ok() {
  calibrate_then_ok "$DATA/tapalign-pass.records"
  expect_stored "$DATA/tapalign-stored.records"
  # The result face: three grey buttons at x 770-890, 900-1020, 1030-1150,
  # y 540-630 (fills inset by 3 pixels inside their outlines).
  pixels_are "$WORK/result.png" 585 "$GREY" "no button fill at" 773 887 903 1017 1033 1147
  pixels_are "$WORK/result.png" 585 "$BLACK" "button area reaches" 765 895 1025 1155
  [ "$(pixel "$WORK/result.png" 960 543)" = "$GREY" ] || fail "button top"
  [ "$(pixel "$WORK/result.png" 960 627)" = "$GREY" ] || fail "button bottom"
  [ "$(pixel "$WORK/result.png" 960 634)" = "$BLACK" ] || fail "below the buttons"
  expect_grep "$WORK/sim.log" '^ioctl 197 0 00$'
  [ -z "${LUMARO_SCREENSHOTS:-}" ] || cp "$WORK/result.png" "$LUMARO_SCREENSHOTS/tapalign-result.png"
}

case_collecting_face_and_idle_cpu() {
  collect_until_crosshair
  [ -z "${LUMARO_SCREENSHOTS:-}" ] || cp "$WORK/collect.png" "$LUMARO_SCREENSHOTS/tapalign-collect.png"
  # A 40-pixel cross and a 40 x 40 square centred on (96, 60), exactly those
  # ten lines: an end moved by one pixel changes the count.
  local lit
  lit=$(lit_pixels "$WORK/collect.png" 50x50+71+35)
  [ "$lit" = 365 ] || fail "the crosshair lights $lit pixels, not 365"
  # While it waits for touches the tool sleeps in the driver's request.
  local pid ticks_before ticks_after
  pid=$(pgrep -P "$SIM_PID" -x tapalign) || fail "no tapalign process"
  ticks_before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep 3
  ticks_after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  local percent=$(((ticks_after - ticks_before) * 100 / (3 * $(getconf CLK_TCK))))
  echo "tapalign waiting for touches: ${percent}% of a core"
  [ "$percent" -le 10 ] || fail "tapalign busy while idle: ${percent}%"
  # Escape reaches the tool through X and puts the start blocks back.
  xdotool key Escape
  finish_tool
  [ "$TOOL_STATUS" = 0 ] || fail "status $TOOL_STATUS"
  expect_stored <(echo "$START_BLOCKS")
  expect_no_grep "$WORK/tool-stderr.log" 'Cannot open font'  # its own font loaded
}

# A calibration made beside a running lumarod takes effect without a
# restart. One scene: a touch the daemon reports on the stored (uncalibrated)
# map, then the scripted pass (its packets held for the tool: the daemon's
# reads time out while they lie ahead and while the controller is in
# calibration mode), then a long drag. Its first frame is marked for
# identification, and from there on, through Ok and after it, the daemon
# reports exactly what a replay of the drag under the stored blocks gives.
case_ok_takes_effect_in_the_running_daemon() {
  printf 'lumaro-scene 1\nscans 1500\nfinger 0.008\nkey 10 0.3 0.3\nkey 50 0.4 0.35
finger 0.008\nkey 100 0.2 0.5\nkey 1490 0.8 0.6\n' | "$LUMARO_BIN/lumaro-scene" - >"$WORK/scene"
  awk '/^frame/ && ++n > 150 { exit } { print }' "$WORK/scene" >"$WORK/a.ltrace"
  awk '/^frame/ && ++n > 150' "$WORK/scene" >"$WORK/drag"
  cat "$WORK/a.ltrace" "$DATA/tapalign-pass.records" "$WORK/drag" >"$WORK/t.ltrace"
  timeout 120 "$SIM" --rate 120 --log "$WORK/sim.log" --state-out "$WORK/state.ltrace" \
    "$WORK/t.ltrace" -- sh -c '"$1" --monitor "$3/monitor" & d=$!; trap "kill \$d; exit 143" TERM
     until grep -q "^reads time out: touch packets" "$3/sim.log"; do sleep 0.1; done
     "$2" >"$3/tool.out" 2>"$3/tool-stderr.log"; echo "$?" >"$3/tool.status"
     n=$(grep -c "^report" "$3/sim.log")
     until [ "$(grep -c "^report" "$3/sim.log")" -ge $((n + 30)) ]; do sleep 0.1; done
     kill $d; wait $d' sh "$DAEMON" "$TOOL" "$WORK" >"$WORK/daemon.out" 2>"$WORK/daemon.log" &
  SIM_PID=$!
  wait_for_result_face
  press_ok
  wait "$SIM_PID" || true
  [ "$(cat "$WORK/tool.status")" = 0 ] || fail "tapalign: status $(cat "$WORK/tool.status")"
  expect_grep "$WORK/sim.log" '^reads time out: the controller is in calibration mode$'
  [ "$(log_count "$WORK/daemon.out" '^open touch success')" = 1 ] || fail "the daemon reopened"
  [ "$(log_count "$WORK/sim.log" '^ioctl 202 ')" = 2 ] || fail "not identified exactly twice"
  replay() { "$REPLAY" <(cat "$@") 2>/dev/null; }
  replay "$WORK/state.ltrace" "$WORK/drag" >"$WORK/new.reports"
  replay <(grep -v '^frame' "$WORK/a.ltrace") "$WORK/drag" >"$WORK/drag-old-map.reports"
  # Before the mark, the old map's reports.
  expect_replay "$WORK/a.ltrace" <(awk '/^frame marked/ { exit } /^report/' "$WORK/sim.log")
  awk '/^frame marked/ { on = 1 } on && /^report/' "$WORK/sim.log" >"$WORK/late.reports"
  head -n "$(wc -l <"$WORK/late.reports")" "$WORK/new.reports" | diff - "$WORK/late.reports" ||
    fail "after the mark, not the new map's reports"
  ! grep -qFxf "$WORK/drag-old-map.reports" "$WORK/late.reports" || fail "a late report on the old map"
  [ "$(awk '/^ioctl 197 / { n = 0 } /^report/ { n++ } END { print n }' "$WORK/sim.log")" -ge 30 ] ||
    fail "no reports after Ok"
}

# verify pass|fail [TOOL]: "TOOL --verify" (tapalign unless given) beside
# lumarod under one simulator, the three touches of a rendered scene on the
# targets (pass) or 0.05 of the width to their right, about 96 pixels (fail).
# The daemon's reports reach the tool through the monitor stream, which
# stalls once for half a second during the lead-in.
case_verify() {
  local tool=${2:-tapalign} shift=0 status=0 verdict='[0-9]\.[0-9] px, .*: pass' x
  if [ "$1" != pass ]; then
    shift=0.05 status=1 verdict='9[0-9]\.[0-9] px, .*tolerance 10\.0 px: FAIL'
  fi
  local scene="lumaro-scene 1
scans 200" key
  # Targets (0.5, 0.5), (0.2, 0.8), (0.8, 0.2) of the screen; the scene's y
  # runs to 0.75 over the screen's height.
  for key in "10 50 0.5 0.375" "80 120 0.2 0.6" "150 190 0.8 0.15"; do
    set -- $key
    x=$(awk -v a="$3" -v b="$shift" 'BEGIN { print a + b }')
    scene+=$'\n'"finger 0.008"$'\n'"key $1 $x $4"$'\n'"key $2 $x $4"
  done
  # A lead-in, so that the tool reads the stream before the first touch.
  echo "$scene" | "$LUMARO_BIN/lumaro-scene" - |
    awk '!done && /^frame/ { print "wait 3000"; done = 1 } { print }' >"$WORK/v.ltrace"
  timeout 120 "$SIM" --linger 5 --log "$WORK/sim.log" "$WORK/v.ltrace" -- sh -c \
    '"$1" --monitor "$3/monitor" 2>"$3/daemon.log" & d=$!; trap "kill \$d; exit 143" TERM
     until [ -S "$3/monitor" ]; do sleep 0.1; done
     "$2" --verify --monitor "$3/monitor" >"$3/tool.out" 2>"$3/tool-stderr.log" & t=$!
     sleep 1; kill -STOP $d; sleep 0.5; kill -CONT $d  # a stream quiet for a while
     wait $t; echo "$?" >"$3/tool.status"; kill $d' sh "$DAEMON" "$LUMARO_BIN/$tool" "$WORK" || true
  [ "$(grep -c '^target [123] at' "$WORK/tool.out")" = 3 ] || fail "not three targets"
  [ "$(cat "$WORK/tool.status")" = "$status" ] || fail "status $(cat "$WORK/tool.status")"
  expect_grep "$WORK/tool.out" "^verify: largest $verdict\$"
}

# interrupted CAUSE PHASE: CAUSE (INT, TERM, HUP: that signal; X: the X server
# killed) in PHASE (collecting, result, after_ok). Before Ok the start blocks
# come back; after Ok the fit stays. Calibration mode is left either way.
case_interrupted() {
  local cause=$1 phase=$2
  if [ "$phase" = collecting ]; then
    collect_until_crosshair
  else
    calibrate_until_result "$DATA/tapalign-pass.records"
  fi
  if [ "$phase" = after_ok ]; then
    press_ok
    # Ok taken: the window is gone (calibration mode is left before).
    wait_for 30 "Ok to close the window" eval '! screen_pixel_is "$OK_X" "$BUTTON_Y" "$GREY"'
  fi
  interrupt "$cause" || [ "$phase" = after_ok ]  # the tool may have ended after Ok
  finish_tool
  [ "$(grep '^ioctl 197 ' "$WORK/sim.log" | tail -n 1)" = "ioctl 197 0 00" ] ||
    fail "calibration mode not left"
  if [ "$phase" = after_ok ]; then
    # Ended by Ok, or by the signal just after it: the fit is what was accepted.
    case $TOOL_STATUS in 0 | "$(interrupted_status "$cause")") ;; *) fail "status $TOOL_STATUS" ;; esac
    [ "$cause" != X ] || [ "$TOOL_STATUS" = 0 ] || fail "status $TOOL_STATUS"
    expect_stored "$DATA/tapalign-stored.records"
  else
    expect_interrupted "$cause"
    expect_stored <(echo "$START_BLOCKS")
  fi
}

run_case "$@"
