#!/usr/bin/env bash
# Record and replay end to end: the daemon's reports from a live run under
# the simulator and from the offline replay of the same trace agree line for
# line, across every kind of session end; a recording replays like its source.
source "$(dirname "$0")/lib.sh"
REPLAY="$LUMARO_BIN/lumaro-replay"
RECORD="$LUMARO_BIN/lumaro-record"

# live_reports TRACE: the reports a live lumarod writes for TRACE.
live_reports() {
  run_daemon "$1" --rate 2000 || fail "simulator failed"
  grep '^report ' "$WORK/sim.log" >"$WORK/live.out" || true
}

case_replay_matches_live_run_across_reconnects() {
  # Cut a scene with a read error, a time-out, a re-identification and an
  # unplug; each session starts from fresh filters.
  awk '/^frame / { frames++ }
       frames == 150 && !a++ { print "readerr 5" }
       frames == 250 && !b++ { print "readerr 110" }
       frames == 350 && !c++ { print "frame a1000101" }
       frames == 450 && !d++ { print "unplug"; print "wait 100"; print "plug" }
       { print }' "$LUMARO_SCENES/circle.ltrace" >"$WORK/cut.ltrace"
  live_reports cut.ltrace
  "$REPLAY" "$WORK/cut.ltrace" >"$WORK/replay.out" 2>/dev/null || fail "replay failed"
  [ -s "$WORK/live.out" ] || fail "no reports at all"
  diff "$WORK/live.out" "$WORK/replay.out" >"$WORK/diff.log" || fail "replay and live reports differ"
  expect_grep "$WORK/daemon.out" "^read error -1 :No such device$"
}

case_recording_ends_on_a_signal() {
  # Without --frames a recording runs until SIGTERM (the simulator's, after
  # the trace) or SIGINT, and keeps what it read.
  timeout 60 "$SIM" --rate 2000 --linger 0.2 --log "$WORK/sim.log" "$LUMARO_SCENES/tap.ltrace" \
    -- "$RECORD" --monitor "$WORK/no-daemon" "$WORK/term.ltrace" 2>"$WORK/record.log" ||
    fail "on SIGTERM: status $?"
  grep -q '^frame ' "$WORK/term.ltrace" || fail "no frames kept on SIGTERM"
  diff <("$REPLAY" "$LUMARO_SCENES/tap.ltrace" 2>/dev/null) <("$REPLAY" "$WORK/term.ltrace" 2>/dev/null) \
    >"$WORK/diff.log" || fail "the recording replays differently"
  expect_grep "$WORK/record.log" "frames recorded from /dev/lumaro"
  # SIGINT while frames still come (the scene lasts 8 s at this rate).
  "$SIM" --rate 100 --linger 60 --log "$WORK/sim-int.log" "$LUMARO_SCENES/circle.ltrace" \
    -- "$RECORD" --monitor "$WORK/no-daemon" "$WORK/int.ltrace" 2>"$WORK/record-int.log" &
  SIM_PID=$!
  wait_for 30 "the identification" log_has "$WORK/sim-int.log" '^ioctl 201 '
  kill -INT "$(pgrep -P "$SIM_PID")"
  local status=0
  wait "$SIM_PID" || status=$?
  [ "$status" = 0 ] || fail "on SIGINT: status $status"
  grep -q '^frame ' "$WORK/int.ltrace" || fail "no frames kept on SIGINT"
  expect_no_grep "$WORK/sim-int.log" '^end of trace$'
}

run_case "$@"
