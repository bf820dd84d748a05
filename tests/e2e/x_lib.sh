# X11 helpers of the end-to-end tests: a private Xvfb per test, screenshots,
# pixel probes, and a calibration tool run under the simulator. Source after
# lib.sh.

SIM_FIXED_OPTIONS=()

need Xvfb:xvfb xdotool:xdotool xwd:x11-apps convert:imagemagick xlsfonts:x11-utils

# start_xvfb [WxH]: a W x H x 24 server, 1920 x 1080 unless given, on a
# display number it picks itself (-displayfd), so parallel tests never
# collide; waits until it is ready.
start_xvfb() {
  local fd_file="$WORK/display"
  Xvfb -displayfd 3 -screen 0 "${1:-1920x1080}x24" -nolisten tcp 3>"$fd_file" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  # Complete once the display number's line has its newline.
  wait_for 30 "Xvfb to start" eval '[ "$(wc -l <"$fd_file")" -ge 1 ]'
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

# expect_interrupted CAUSE: the tool's status and its one line on stderr for
# a session that CAUSE ended.
expect_interrupted() {
  [ "$TOOL_STATUS" = "$(interrupted_status "$1")" ] || fail "status $TOOL_STATUS after $1"
  local cause="stopped by SIG$1"
  [ "$1" != X ] || cause="the X display was lost"
  [ "$(cat "$WORK/tool-stderr.log")" = \
    "$(basename "$TOOL"): $cause; the controller is as it was before the session" ] ||
    fail "not the one line naming $1"
}
