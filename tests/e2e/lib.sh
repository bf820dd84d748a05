# Shared helpers of the end-to-end tests. Each test runs in its own
# temporary directory; nothing waits on a bare sleep.
set -euo pipefail

: "${LUMARO_BIN:?LUMARO_BIN must name the directory of the built programs}"
SIM="$LUMARO_BIN/lumaro-sim"
DAEMON="$LUMARO_BIN/lumarod"
REPLAY="$LUMARO_BIN/lumaro-replay"

source "$(dirname "${BASH_SOURCE[0]}")/host.sh"
have_umockdev || missing_host_piece "umockdev's preload library libumockdev-preload.so.0" umockdev

WORK=$(mktemp -d "${TMPDIR:-/tmp}/lumaro-e2e.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$WORK"/*.out "$WORK"/*.log; do
    [ -f "$f" ] && { echo "--- $f" >&2; head -n 60 "$f" >&2; }
  done
  exit 1
}

# write_trace NAME: the trace from standard input, with the header added.
write_trace() {
  { echo "lumaro-trace 1"; cat; } >"$WORK/$1"
}

# run_daemon TRACE [SIM OPTIONS...]: lumarod under the simulator until the
# trace is played out; its output in daemon.out, the simulator's log in
# sim.log; its monitor socket in the test's directory, never the host's.
# DAEMON_AS, an array, is put before the daemon's command (as a setpriv
# command line).
run_daemon() {
  local trace=$1 status=0
  shift
  timeout 120 "$SIM" --linger 0.3 --log "$WORK/sim.log" "$@" "$WORK/$trace" -- ${DAEMON_AS[@]+"${DAEMON_AS[@]}"} "$DAEMON" \
    --monitor "$WORK/monitor" >"$WORK/daemon.out" 2>"$WORK/sim-stderr.log" || status=$?
  # The daemon runs until it is stopped: the SIGTERM the simulator sends at
  # the end of the trace is its normal end.
  [ "$status" != $((128 + 15)) ] || status=0
  return "$status"
}

MPROBE="${LUMARO_TEST_BIN:-$LUMARO_BIN}/monitor-probe"

# start_daemon TRACE [SIM OPTIONS...] -- [DAEMON OPTIONS...]: lumarod under
# the simulator in the background, serving its monitor stream on $SOCKET;
# SIM_PID is the simulator; DAEMON_AS as for run_daemon.
start_daemon() {
  local trace=$1 sim_options=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do sim_options+=("$1"); shift; done
  [ $# -eq 0 ] || shift
  rm -f "$SOCKET"
  timeout 180 "$SIM" --log "$WORK/sim.log" ${sim_options[@]+"${sim_options[@]}"} "$trace" -- \
    ${DAEMON_AS[@]+"${DAEMON_AS[@]}"} "$DAEMON" --monitor "$SOCKET" \
    "$@" >"$WORK/daemon.out" 2>"$WORK/daemon.log" &
  SIM_PID=$!
  wait_for 30 "the monitor socket" "$MPROBE" "$SOCKET" --cycles 1 2>/dev/null
}

finish_daemon() {
  local status=0
  wait "$SIM_PID" || status=$?
  SIM_PID=
  # The simulator ends the daemon with SIGTERM at the end of the trace: its
  # normal end.
  [ "$status" -eq $((128 + 15)) ] || fail "the simulator exited with $status"
  expect_no_grep "$WORK/daemon.log" "ERROR: AddressSanitizer|LeakSanitizer|runtime error"
}

# stop_daemon: ends a daemon whose trace has not ended. The simulator, killed
# itself, would leave its command running; ended with the daemon, it exits.
stop_daemon() {
  pkill -TERM -P "$SIM_PID" || true
  wait "$SIM_PID" || true
  SIM_PID=
}

# with_lead_in TRACE: TRACE with a pause before its first frame, so that a
# reader is connected before the first scan.
with_lead_in() {
  awk '!done && /^frame/ { print "wait 1500"; done = 1 } { print }' "$1" >"$WORK/lead-in.ltrace"
  echo "$WORK/lead-in.ltrace"
}

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
    # A tool that has ended brings nothing more: fail now, not at the deadline.
    [ -z "${SIM_PID:-}" ] || kill -0 "$SIM_PID" 2>/dev/null || "$@" ||
      fail "the tool ended while waiting for $what"
    sleep 0.1
  done
}

# log_count FILE REGEX: how many lines match (0 while FILE does not exist).
log_count() {
  local n
  n=$(grep -cE -- "$2" "$1" 2>/dev/null) || true
  echo "${n:-0}"
}
log_has() { [ "$(log_count "$1" "$2")" -ge "${3:-1}" ]; }

# expect_replay TRACE REPORTS: TRACE replays to exactly the file REPORTS.
expect_replay() {
  "$REPLAY" "$1" 2>/dev/null | diff - "$2" >"$WORK/diff.log" || fail "$1 does not replay to $2"
}

# expect_grep FILE REGEX / expect_no_grep FILE REGEX
expect_grep() { grep -qE -- "$2" "$1" || fail "$1 lacks /$2/"; }
expect_no_grep() { if grep -qE -- "$2" "$1"; then fail "$1 has /$2/"; fi; }

# is_png FILE: FILE starts with the PNG signature.
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }

# run_case NAME [ARGS...]: runs the function case_NAME of the calling script.
run_case() {
  local name=${1:?case name}
  shift
  declare -F "case_$name" >/dev/null || { echo "no case $name" >&2; exit 2; }
  "case_$name" "$@"
  echo "PASS: $name $*"
}
