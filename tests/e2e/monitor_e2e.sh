#!/usr/bin/env bash
# The daemon's monitor stream, read through its socket while lumarod runs
# under the simulator: the stream is a trace whose replay equals the
# daemon's reports, a stopped reader cut off without touching the touch,
# and readers that misbehave or may not read.
# LUMARO_MONITOR_DAEMON may name another lumarod (an ASan build's).
source "$(dirname "$0")/lib.sh"
DAEMON="${LUMARO_MONITOR_DAEMON:-$DAEMON}"
SOCKET="$WORK/monitor"

# expect_replay_equals_reports STREAM: STREAM replays to the reports the
# simulator saw the daemon write, and carries them as its report lines.
expect_replay_equals_reports() {
  grep '^report' "$WORK/sim.log" >"$WORK/live-reports.txt" || fail "no reports at all"
  expect_replay "$1" "$WORK/live-reports.txt"
  grep '^report' "$1" | cmp -s - "$WORK/live-reports.txt" || fail "the report lines of $1 differ"
}

case_live_stream_replays_as_the_daemon() {
  local name
  # A pinch; read errors; an unplug ridden through; re-identification.
  for name in pinch flaky-cable unplug reidentify read-errors; do
    local trace="$(dirname "$0")/../golden/$name.ltrace"
    [ -f "$trace" ] || trace="$LUMARO_SCENES/$name.ltrace"
    start_daemon "$(with_lead_in "$trace")" --linger 0.5
    "$MPROBE" "$SOCKET" live >"$WORK/$name.stream" 2>"$WORK/probe.log" &
    local probe=$!
    wait_for 10 "the stream's identity" grep -q '^product' "$WORK/$name.stream"
    wait "$probe" || fail "the reader failed on $name"
    finish_daemon
    expect_replay_equals_reports "$WORK/$name.stream"
    echo "$name: $(grep -c '^frame' "$WORK/$name.stream") frames," \
      "$(grep -c '^report' "$WORK/$name.stream") reports, replay identical"
    rm -f "$WORK/sim.log"
  done
}

case_stopped_reader_is_cut_off() {
  # 12,000 half-frames (30 s of scans at the real rate) served in 10 s.
  local long="$WORK/long.ltrace"
  {
    grep -v '^frame' "$LUMARO_SCENES/circle.ltrace"
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do grep '^frame' "$LUMARO_SCENES/circle.ltrace"; done
  } >"$long"
  local started=$EPOCHREALTIME
  start_daemon "$(with_lead_in "$long")" --rate 1200 --linger 0.5
  "$MPROBE" "$SOCKET" live >"$WORK/steady.stream" &
  local steady=$!
  "$MPROBE" "$SOCKET" live >"$WORK/stopped.stream" &
  local stopped=$!
  wait_for 10 "the stopped reader's stream" grep -q '^frame' "$WORK/stopped.stream"
  kill -STOP "$stopped"
  wait_for 60 "the stopped reader's disconnection" \
    grep -qE 'monitor: reader [0-9]+ disconnected: [0-9.]+ s behind the stream' "$WORK/daemon.log"
  local cut_at=$EPOCHREALTIME
  kill -CONT "$stopped"
  wait "$steady" || fail "the steady reader failed"
  wait "$stopped" || true
  finish_daemon
  # The touch is untouched: every report as the replay of the scene has it.
  expect_replay "$long" <(grep '^report' "$WORK/sim.log")
  expect_replay_equals_reports "$WORK/steady.stream"
  grep '^# \|^error' "$WORK/stopped.stream" | grep -qvx '# live from here' &&
    fail "the stopped reader got something odd"
  local reports seconds
  reports=$(grep -c '^report' "$WORK/sim.log")
  seconds=$(since "$started")
  grep -m1 'disconnected' "$WORK/daemon.log"
  echo "stopped reader cut off $(since "$started" "$cut_at") s after the start;" \
    "$reports of $reports reports identical to the replay; 12000 half-frames at --rate 1200" \
    "in $seconds s with two readers"
  # The durations are shown, not judged: on a loaded machine they vary by
  # seconds. That the frame path never waited is shown above: the stream ran
  # 5 s ahead of the stopped reader, which it could not have done had it
  # waited for that reader.
}

# since START [END]: seconds from START to END (or now), to 0.01 s.
since() { awk -v a="$1" -v b="${2:-$EPOCHREALTIME}" 'BEGIN { printf "%.2f", b - a }'; }

# refused_with TEXT COMMAND...: COMMAND's stream is one error line matching TEXT.
refused_with() {
  local text=$1 out
  shift
  out=$("$@" 2>&1) || true
  [[ $out == "error "*$text* ]] || fail "expected an error '$text', got: ${out:0:200}"
  [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "more than one line: ${out:0:200}"
}

# sockets_at_least N: N sockets carry the monitor's path: the listening one
# and those accepted.
sockets_at_least() { [ "$(grep -c -- "$SOCKET" /proc/net/unix)" -ge "$1" ]; }

case_misbehaving_and_foreign_readers() {
  local gid=4711
  chmod 0755 "$WORK"
  local trace="$WORK/idle.ltrace"
  { grep -v '^frame' "$LUMARO_SCENES/circle.ltrace"; echo "wait 60000"; } >"$trace"
  start_daemon "$trace" --linger 0 -- --monitor-group "$gid"
  [ "$(stat -c '%a %g' "$SOCKET")" = "660 $gid" ] || fail "socket mode/group: $(stat -c '%a %g' "$SOCKET")"

  "$MPROBE" "$SOCKET" --cycles 100 || fail "100 connect and disconnect cycles"
  refused_with "request too long" "$MPROBE" "$SOCKET" "$(printf 'x%.0s' {1..5000})"
  refused_with "bad request" "$MPROBE" "$SOCKET" "lats 5"
  refused_with "bad request" "$MPROBE" "$SOCKET" $'live\nlive'
  refused_with "no request" "$MPROBE" "$SOCKET" --silent

  # The readers' limit: 16 wait for their request, the 17th is turned away.
  local waiting=() i
  for i in $(seq 16); do
    "$MPROBE" "$SOCKET" --silent >"$WORK/wait-$i.out" 2>&1 &
    waiting+=($!)
  done
  wait_for 10 "16 readers" sockets_at_least 17
  refused_with "too many readers" "$MPROBE" "$SOCKET" live
  wait "${waiting[@]}" || true

  # A member of the group reads; anybody else cannot even connect...
  local nobody=(setpriv --reuid=65534 --regid=65534)
  "${nobody[@]}" --groups="$gid" "$MPROBE" "$SOCKET" --cycles 1 || fail "a member was refused"
  local status=0
  "${nobody[@]}" --clear-groups "$MPROBE" "$SOCKET" live >/dev/null 2>"$WORK/outsider.log" || status=$?
  [ "$status" -eq 3 ] || fail "an outsider connected (status $status)"
  expect_grep "$WORK/outsider.log" "Permission denied"
  # ...and when the socket's mode lets him, the daemon turns him away itself.
  chmod 0666 "$SOCKET"
  refused_with "permission denied" "${nobody[@]}" --clear-groups "$MPROBE" "$SOCKET" live
  expect_grep "$WORK/daemon.log" "monitor: refused uid 65534"

  stop_daemon
  expect_no_grep "$WORK/daemon.log" "ERROR: AddressSanitizer|LeakSanitizer|runtime error"
}

run_case "$@"
