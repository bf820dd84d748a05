#!/usr/bin/env bash
# Both calibration tools end to end on Wayland kiosks, through the
# compositor's Xwayland: sway and cage (wlroots, headless backend, pixman
# renderer) and weston (headless backend, pixman renderer) with its kiosk
# shell or its desktop shell. Each test starts its own compositor as an
# unprivileged user with its own runtime directory, runs one case of one tool
# under the simulator, checks the faces' pixels and that the controller then
# holds, bit for bit, what the same case leaves on an Xvfb screen of the same
# size.
#   wayland_e2e.sh COMPOSITOR CASE
# COMPOSITOR: sway, cage, weston (kiosk shell) or weston-desktop.
# CASE: tapalign_sixteen_then_ok, classic_four_then_ok, classic_escape. The
# tools share their window, its face and its keys: under each compositor one
# pass of each tool and one Escape; the four-point pass is tapalign's own
# test, on Xvfb.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/calib_lib.sh"
COMPOSITOR=${1:?compositor}
shift

[ "$(id -u)" = 0 ] || cannot_run "running the compositor as another user needs root"
need setpriv:util-linux Xwayland:xwayland xhost:x11-xserver-utils
case $COMPOSITOR in
  sway | cage) need "$COMPOSITOR:$COMPOSITOR" grim:grim ;;
  weston | weston-desktop) need weston:weston weston-screenshooter:weston ;;
  *) echo "no compositor $COMPOSITOR" >&2; exit 2 ;;
esac

# The compositor's user: cage refuses to run as root, and a kiosk's
# compositor is not root's. Root's X clients (the tool, xdotool) are let in
# with xhost from inside the session.
SESSION="$WORK/session"
AS_SESSION=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all
  env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$SESSION" XDG_RUNTIME_DIR="$SESSION/run"
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1)
# cage's headless output cannot be sized: it is always 1280 x 720.
SIZE=1920x1080
[ "$COMPOSITOR" != cage ] || SIZE=1280x720
W=${SIZE%x*} H=${SIZE#*x}
# Headless, cage presents an X window's first frame and none of its later
# ones, and weston's kiosk shell presents no surface at all (nor do native
# clients show there). Under those two the faces' pixels are read from the
# window through X; sway and weston's desktop shell are checked from what
# they show.
SHOWS_UPDATES=yes
case $COMPOSITOR in cage | weston) SHOWS_UPDATES=no ;; esac

stop_compositor() {
  if [ -n "${SIM_PID:-}" ]; then kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null || true; fi
  if [ -n "${COMPOSITOR_PID:-}" ]; then
    # cage aborts on SIGTERM; it ends cleanly with its one program.
    if [ "$COMPOSITOR" = cage ] && [ -s "$SESSION/holder.pid" ]; then
      kill "$(cat "$SESSION/holder.pid")" 2>/dev/null || true
    else
      kill "$COMPOSITOR_PID" 2>/dev/null || true
    fi
    wait "$COMPOSITOR_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}

# start_compositor: the compositor, its Xwayland up and root let in; exports
# its DISPLAY. The session's program (sway's exec, cage's one program, run
# by the test for weston) lets root in and writes the display's name.
start_compositor() {
  # Where Xwayland's sockets go; the compositor's user cannot make it.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  mkdir -p "$SESSION/run"
  chmod 700 "$SESSION/run"
  chmod 711 "$WORK"
  cat >"$SESSION/ready" <<EOF
#!/bin/sh
xhost +si:localuser:root >"$SESSION/xhost.log" 2>&1 || exit 1
echo "\$DISPLAY" >"$SESSION/display.new" && mv "$SESSION/display.new" "$SESSION/display"
[ "\${1:-}" != hold ] || { echo \$\$ >"$SESSION/holder.pid"; exec sleep 600; }
EOF
  chmod 755 "$SESSION/ready"
  chown -R 65534:65534 "$SESSION"
  trap stop_compositor EXIT
  case $COMPOSITOR in
    sway)
      printf 'output HEADLESS-1 mode --custom %s\nexec %s\n' "$SIZE" "$SESSION/ready" \
        >"$SESSION/sway.conf"
      "${AS_SESSION[@]}" sway -c "$SESSION/sway.conf" >"$WORK/compositor.log" 2>&1 &
      ;;
    cage) "${AS_SESSION[@]}" cage -- "$SESSION/ready" hold >"$WORK/compositor.log" 2>&1 & ;;
    weston | weston-desktop)
      local shell=kiosk-shell.so
      [ "$COMPOSITOR" = weston ] || shell=desktop-shell.so
      "${AS_SESSION[@]}" weston --backend=headless-backend.so --use-pixman --xwayland \
        --shell="$shell" --width="$W" --height="$H" --debug >"$WORK/compositor.log" 2>&1 &
      ;;
  esac
  COMPOSITOR_PID=$!
  if [ "${COMPOSITOR%-desktop}" = weston ]; then
    wait_for 60 "weston's X server" log_has "$WORK/compositor.log" 'xserver listening on display'
    local display
    display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$WORK/compositor.log")
    "${AS_SESSION[@]}" DISPLAY="$display" "$SESSION/ready"
  fi
  wait_for 60 "Xwayland to let root in" test -s "$SESSION/display"
  DISPLAY=$(cat "$SESSION/display")
  export DISPLAY
  if [ "$SHOWS_UPDATES" = yes ]; then
    screenshot() { compositor_screenshot "$@"; }
  else
    screenshot() { window_screenshot "$@"; }
  fi
}

# compositor_screenshot FILE.png: what the compositor shows; once the
# compositor is up, the tests' screenshot. Xwayland is rootless, so
# "xwd -root" has nothing to read.
compositor_screenshot() {
  local socket
  socket=$(basename "$(ls "$SESSION"/run/wayland-? | head -n 1)")
  rm -f "$SESSION"/shots/*.png
  mkdir -p "$SESSION/shots" && chown 65534:65534 "$SESSION/shots"
  if [ "${COMPOSITOR%-desktop}" = weston ]; then
    (cd "$SESSION/shots" && "${AS_SESSION[@]}" WAYLAND_DISPLAY="$socket" weston-screenshooter) \
      >/dev/null 2>&1 || return 1
  else
    "${AS_SESSION[@]}" WAYLAND_DISPLAY="$socket" grim "$SESSION/shots/shot.png" 2>/dev/null ||
      return 1
  fi
  mv "$(ls "$SESSION"/shots/*.png | head -n 1)" "$1"
}

tool_window() { xdotool search --name "^$(basename "$TOOL")\$" 2>/dev/null | head -n 1; }

# window_screenshot FILE.png: the tool's window as X holds it.
window_screenshot() {
  local window
  window=$(tool_window)
  [ -n "$window" ] && xwd -id "$window" -silent | convert xwd:- "$1"
}

# press_ok: under weston headless, which offers no seat, Xwayland crashes on
# any pointer warp, and a click without a move lands wherever the pointer
# happens to be; the click is sent to the window directly there instead.
press_ok() {
  if [ "${COMPOSITOR%-desktop}" = weston ] && [ -z "${ON_XVFB:-}" ]; then
    "$LUMARO_TEST_BIN/x-click-probe" "$(tool_window)" "$OK_X" "$BUTTON_Y"
  else
    click "$OK_X" "$BUTTON_Y"
  fi
}

# keep_shot FILE NAME: FILE, and what the compositor shows, kept for
# inspection when LUMARO_SCREENSHOTS names a directory.
keep_shot() {
  [ -n "${LUMARO_SCREENSHOTS:-}" ] || return 0
  cp "$1" "$LUMARO_SCREENSHOTS/wayland-$COMPOSITOR-$2.png"
  [ "$SHOWS_UPDATES" = yes ] ||
    compositor_screenshot "$LUMARO_SCREENSHOTS/wayland-$COMPOSITOR-$2-shown.png" || true
}

# on_xvfb CASE ARGS...: the reference: the case on Xvfb at the same size, in
# a directory of its own; the blocks it stored in $WORK/xvfb-stored.
on_xvfb() {
  (
    WORK="$WORK/xvfb" ON_XVFB=yes
    mkdir -p "$WORK"
    start_xvfb "$SIZE"
    "$@"
    stored_blocks >"$WORK/../xvfb-stored"
  ) || fail "the reference run on Xvfb failed"
}

case_tapalign_sixteen_then_ok() {
  use_tapalign
  sixteen_touches >"$WORK/sixteen.records"
  on_xvfb calibrate_then_ok "$WORK/sixteen.records" -- -a
  start_compositor
  calibrate_then_ok "$WORK/sixteen.records" -- -a
  keep_shot "$WORK/result.png" tapalign-result
  expect_stored "$WORK/xvfb-stored"
}

case_classic_four_then_ok() {
  use_classic
  on_xvfb calibrate_then_ok "$DATA/classic-touches.records"
  start_compositor
  calibrate_then_ok "$DATA/classic-touches.records"
  keep_shot "$WORK/result.png" classic-result
  expect_stored "$WORK/xvfb-stored"
}

case_classic_escape() {
  use_classic
  start_compositor
  collect_until_crosshair
  xdotool key Escape
  finish_tool
  [ "$TOOL_STATUS" = 0 ] || fail "status $TOOL_STATUS"
  keep_shot "$WORK/collect.png" classic-collect
  expect_no_grep "$WORK/sim.log" '^classic write'
}

run_case "$@"
