#!/usr/bin/env bash
# The simulator end to end: the node's group deciding a real daemon's access.
# (The USB bus it serves is walked by tapalign itself in its own tests.)
source "$(dirname "$0")/lib.sh"

case_node_group_decides_access() {
  # The nodes as the udev rule leaves them (root, a group, 0660) and the
  # daemon as an unprivileged user: with the group it opens, reads, writes
  # and reopens the node after an unplug; without it, it is refused.
  [ "$(id -u)" = 0 ] || cannot_run "switching users needs root"
  need setpriv:util-linux
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
    DAEMON_AS=(timeout "$4" setpriv --reuid=65534 --regid=65534 --groups="$1" --inh-caps=-all)
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
