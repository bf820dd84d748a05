# The calibration tools' end-to-end helpers: a private Xvfb per test,
# screenshots, pixel probes, a tool run under the simulator, the tools'
# controllers, their stored blocks and their screens' landmarks. Source after
# lib.sh.

need Xvfb:xvfb xdotool:xdotool xwd:x11-apps convert:imagemagick xlsfonts:x11-utils

# start_xvfb [WxH]: a W x H x 24 server, 1920 x 1080 unless given, on a
# display number it picks itself (-displayfd), so parallel tests never
# collide; waits until it is ready. -noreset: a server that resets as its
# last client leaves refuses a client that connects meanwhile, so the tool
# could fail to open the display right after the font check below.
start_xvfb() {
  local fd_file="$WORK/display"
  Xvfb -displayfd 3 -noreset -screen 0 "${1:-1920x1080}x24" -nolisten tcp 3>"$fd_file" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  # Complete once the display number's line has its newline (in a file that
  # Xvfb's shell may not have made yet).
  wait_for 30 "Xvfb to start" eval '[ "$(cat "$fd_file" 2>/dev/null | wc -l)" -ge 1 ]'
  export DISPLAY=":$(head -n 1 "$fd_file")"
  # The calibration tools' fonts (tapalign-classic's, tapalign's): without
  # them the tools fall back to any font and say so on stderr.
  # A busy machine may refuse the first listing: a few tries, a second apart.
  local pattern try
  for pattern in '*-*-12-*' '*-*-14-*'; do
    for try in 1 2 3 4 5 0; do
      [ -z "$(xlsfonts -fn "$pattern" 2>>"$WORK/xlsfonts.log")" ] || break
      [ "$try" != 0 ] || missing_host_piece "a core X font matching $pattern" xfonts-base
      sleep 1
    done
  done
}

# screenshot FILE.png: the whole screen.
screenshot() { xwd -root -silent | convert xwd:- "$1"; }

# pixel FILE X Y: the colour at (X, Y) as six hex digits.
pixel() {
  convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | awk 'NR == 2 { print tolower(substr($3, 2, 6)) }'
}

# pixels_are FILE Y RRGGBB WHAT X...: fails with "WHAT x X" unless the pixel
# at each (X, Y) has that colour.
pixels_are() {
  local image=$1 y=$2 colour=$3 what=$4 x
  shift 4
  for x in "$@"; do
    [ "$(pixel "$image" "$x" "$y")" = "$colour" ] || fail "$what x $x"
  done
}

# screen_pixel_is X Y RRGGBB: true when the live screen shows that colour.
screen_pixel_is() {
  screenshot "$WORK/probe.png" 2>/dev/null && [ "$(pixel "$WORK/probe.png" "$1" "$2")" = "$3" ]
}

# start_tool TRACE [SIM OPTIONS] [-- TOOL ARGS]: $TOOL under the simulator,
# in the background, with $SIM_FIXED_OPTIONS; its output in tool.out and
# tool-stderr.log, the simulator's log in sim.log, the final controller state
# in state.ltrace.
start_tool() {
  local trace=$1
  shift
  local opts=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  "$SIM" "${SIM_FIXED_OPTIONS[@]}" --linger 600 --log "$WORK/sim.log" \
    --state-out "$WORK/state.ltrace" "${opts[@]}" "$WORK/$trace" -- "$TOOL" "$@" \
    >"$WORK/tool.out" 2>"$WORK/tool-stderr.log" &
  SIM_PID=$!
}

# finish_tool: waits for the tool to end; its status in TOOL_STATUS.
finish_tool() {
  wait_for 120 "the tool to end" eval '! kill -0 "$SIM_PID" 2>/dev/null'
  TOOL_STATUS=0
  wait "$SIM_PID" || TOOL_STATUS=$?
}

click() { xdotool mousemove "$1" "$2" click 1; }

# interrupt CAUSE: INT, TERM or HUP sends that signal to the tool (the
# simulator's child); X kills the tool's X server. Fails when the tool has
# already ended.
interrupt() {
  if [ "$1" = X ]; then
    kill "$XVFB_PID"
  else
    local pid
    pid=$(pgrep -P "$SIM_PID") && kill -s "$1" $pid
  fi
}

# interrupted_status CAUSE: the status of a session that CAUSE ended.
interrupted_status() {
  case $1 in
    X) echo 1 ;;
    *) echo $((128 + $(kill -l "$1"))) ;;
  esac
}

# expect_interrupted CAUSE [OUTCOME]: the tool's status and its one line on
# stderr for a session that CAUSE ended; OUTCOME, unless given, that the
# controller is as it was before the session.
expect_interrupted() {
  local cause="stopped by SIG$1" outcome=${2:-the controller is as it was before the session}
  [ "$1" != X ] || cause="the X display was lost"
  [ "$TOOL_STATUS" = "$(interrupted_status "$1")" ] || fail "status $TOOL_STATUS after $1"
  [ "$(cat "$WORK/tool-stderr.log")" = "$(basename "$TOOL"): $cause; $outcome" ] ||
    fail "not the one line naming $1"
}

DATA="$(dirname "${BASH_SOURCE[0]}")/data"
GREY=a4a4a4 WHITE=ffffff BLACK=000000

hexseq() { local i; for ((i = $1; i < $1 + $2; i++)); do printf '%02x' $((i & 255)); done; }
# tapalign's controller blocks at the start (CalibX, CalibY, DeviceConfig):
# coefficients that are not a fit, bytes 40 to 57 and the configuration's
# other bytes recognisable; area 4096 x 3072, CalibState 0.
START_BLOCKS="block 195 $(hexseq 16 40)$(hexseq 200 18)
block 196 $(hexseq 96 40)$(hexseq 120 18)
block 206 0000000000000010000c00$(hexseq 60 47)"

# lit_pixels FILE WxH+X+Y: how many white pixels that part of FILE holds.
lit_pixels() { convert "$1" -crop "$2" -depth 8 txt:- | grep -ci "#$WHITE" || true; }

# expect_crosshair FILE X Y: FILE shows a crosshair centred on (X, Y): lines
# of the cross and a corner of its square lit, the space between them dark.
expect_crosshair() {
  local image=$1 cx=$2 cy=$3 xy
  for xy in "$cx $((cy - 15))" "$((cx - 15)) $cy" "$((cx + 15)) $cy" "$((cx - 20)) $((cy - 15))"; do
    [ "$(pixel "$image" $xy)" = "$WHITE" ] || fail "no crosshair line at $xy"
  done
  [ "$(pixel "$image" $((cx - 10)) $((cy - 10)))" = "$BLACK" ] || fail "the crosshair spills"
}

# sixteen_touches: a steady touch and its lift on each target of tapalign's
# 16-point grid, row by row, at raw positions on a slightly skewed grid.
sixteen_touches() {
  local row col x y
  for row in 0 1 2 3; do
    for col in 0 1 2 3; do
      x=$((400 + 1050 * col + 7 * row)) y=$((300 + 800 * row + 5 * col))
      local at i
      at=$(printf '%02x%02x%02x%02x' $((x & 255)) $((x >> 8)) $((y & 255)) $((y >> 8)))
      for ((i = 0; i < 110; i++)); do echo "packet 0007$at"; done
      printf 'packet 0006%s\nwait 100\n' "$at"
    done
  done
}

# use_tapalign / use_classic: TOOL, its controller (write_controller NAME: the
# trace NAME, the packets or events from stdin after the controller's), the
# blocks it stores (stored_blocks), the log line of its finished fit, and
# its result face's landmarks on a W x H screen: the Ok button's centre, a
# row above the buttons, and the distance between button centres.
use_tapalign() {
  TOOL="$LUMARO_BIN/tapalign"
  SIM_FIXED_OPTIONS=(--packet-rate 1000)
  write_controller() { { echo "product 0x0c20"; echo "$START_BLOCKS"; cat; } | write_trace "$1"; }
  stored_blocks() { grep -E '^block (195|196|206) ' "$WORK/state.ltrace"; }
  RESULT_LOGGED='^ioctl 193 0 '
  OK_X=$((W / 2)) BUTTON_Y=$((H / 2 + 45)) ABOVE_BUTTONS=$((H / 2 - 4)) BUTTON_STEP=130
}

use_classic() {
  TOOL="$LUMARO_BIN/tapalign-classic"
  SIM_FIXED_OPTIONS=()
  # An uncalibrated main record, span 0 to 4096, one unit.
  write_controller() { cat "$DATA/classic-record.records" - | write_trace "$1"; }
  stored_blocks() { grep '^classic-block 0x80 ' "$WORK/state.ltrace"; }
  RESULT_LOGGED='^ioctl 243 '
  # The hit boxes end 5 pixels above the buttons' bottom.
  OK_X=$((W / 2)) BUTTON_Y=$((H / 2 + 8)) ABOVE_BUTTONS=$((H / 2 - 19)) BUTTON_STEP=90
}

# The helpers below run the tool chosen by use_tapalign or use_classic on the
# W x H screen of DISPLAY.
wait_for_result_face() {
  wait_for 120 "the result face" log_has "$WORK/sim.log" "$RESULT_LOGGED"
  wait_for 60 "the buttons" screen_pixel_is "$OK_X" "$BUTTON_Y" "$GREY"
}

# calibrate_until_result RECORDS [SIM OPTIONS] [-- TOOL ARGS]: the pass of
# RECORDS up to the result face.
calibrate_until_result() {
  write_controller t.ltrace <"$1"
  start_tool t.ltrace "${@:2}"
  wait_for_result_face
}

press_ok() { click "$OK_X" "$BUTTON_Y"; }

# calibrate_then_ok RECORDS [SIM OPTIONS] [-- TOOL ARGS]: the pass up to the
# result face, whose buttons are checked in result.png; then Ok, status 0.
calibrate_then_ok() {
  calibrate_until_result "$@"
  screenshot "$WORK/result.png"
  [ "$(pixel "$WORK/result.png" "$OK_X" "$ABOVE_BUTTONS")" = "$BLACK" ] || fail "above the buttons"
  pixels_are "$WORK/result.png" "$BUTTON_Y" "$GREY" "no button at" \
    $((OK_X - BUTTON_STEP)) $((OK_X + BUTTON_STEP))
  press_ok
  finish_tool
  [ "$TOOL_STATUS" = 0 ] || fail "status $TOOL_STATUS"
}

# collect_until_crosshair: a controller that sends nothing, up to the first
# crosshair, which must be centred on (W/20, H/18) in collect.png.
collect_until_crosshair() {
  echo "wait 600000" | write_controller t.ltrace
  start_tool t.ltrace
  local cx=$((W / 20)) cy=$((H / 18))
  wait_for 120 "the crosshair" screen_pixel_is "$cx" $((cy + 10)) "$WHITE"
  screenshot "$WORK/collect.png"
  expect_crosshair "$WORK/collect.png" "$cx" "$cy"
}

# expect_stored FILE: the controller ended holding the blocks of FILE, bit for
# bit (the fits' accuracy is unit-tested).
expect_stored() { diff <(stored_blocks) "$1" || fail "the stored blocks differ from $(basename "$1")"; }
