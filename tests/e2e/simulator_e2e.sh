#!/usr/bin/env bash
# The simulator end to end: the USB bus it serves under umockdev, and the
# node's group deciding a real daemon's access.
source "$(dirname "$0")/lib.sh"

USB_PROBE="${LUMARO_TEST_BIN:-$LUMARO_BIN}/usb-probe"

# usb_walk [SIM OPTIONS]: the USB bus walk under the simulator; the walk in
# usb.out, the command's USB_DEVFS_PATH in usb-path.out.
usb_walk() {
  [ -x "$USB_PROBE" ] ||
    missing_host_piece "libusb 0.1 at configure time, so usb-probe was not built" libusb-dev
  write_trace t.ltrace </dev/null
  timeout 60 "$SIM" --linger 0 --log "$WORK/sim.log" "$@" "$WORK/t.ltrace" -- \
    sh -c 'echo "$USB_DEVFS_PATH" >"$1" && exec "$2"' sh "$WORK/usb-path.out" "$USB_PROBE" \
    >"$WORK/usb.out" 2>"$WORK/sim-stderr.log" || fail "the walk failed"
}

case_usb_bus_lists_the_controller() {
  usb_walk
  expect_output "$WORK/usb.out" <<'T'
bus 001
001/002 5a3e:0c20
T
  local dir
  dir=$(cat "$WORK/usb-path.out")
  [ -n "$dir" ] || fail "USB_DEVFS_PATH was not set"
  [ ! -e "$dir" ] || fail "the bus directory $dir was left behind"
}

case_node_group_decides_access() {
  # The nodes as the udev rule leaves them (root, a group, 0660) and the
  # daemon as an unprivileged user: with the group it opens, reads, writes
  # and reopens the node after an unplug; without it, it is refused.
  [ "$(id -u)" = 0 ] || cannot_run "switching users needs root"
  command -v setpriv >/dev/null || missing_host_piece setpriv util-linux
  local group=4242
  while getent group "$group" >/dev/null; do group=$((group + 1)); done
  : "${LUMARO_SCENES:?LUMARO_SCENES must name the rendered scenes}"
  # A tap, an unplug, and the tap's frames again on the reopened node.
  { tail -n +2 "$LUMARO_SCENES/tap.ltrace"
    printf 'unplug\nwait 2500\nplug\n'
    grep '^frame ' "$LUMARO_SCENES/tap.ltrace"
  } | write_trace t.ltrace
  # Refused, the daemon retries until the time-out ends it.
  for run in "$group 2 0 60" "$((group + 1)) 0 124 5"; do
    set -- $run
    RUN_AS=(timeout "$4" setpriv --reuid=65534 --regid=65534 --groups="$1" --inh-caps=-all)
    local status=0
    run_daemon t.ltrace --node-group "$group" || status=$?
    [ "$status" = "$3" ] || fail "with group $1: simulator status $status"
    [ "$(grep -c '^open touch success$' "$WORK/daemon.out")" = "$2" ] ||
      fail "with group $1: expected $2 sessions"
    [ "$2" = 0 ] || sed -n '/^plug$/,$p' "$WORK/sim.log" | grep '^report ' >/dev/null ||
      fail "with group $1: no reports after the reopen"
  done
  expect_grep "$WORK/daemon.out" '^open touch error$'
}

run_case "$@"
