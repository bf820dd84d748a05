#!/usr/bin/env bash
# lumaro-record end to end, straight from the node: a recording ended by a
# signal keeps what it read and replays like its source.
source "$(dirname "$0")/lib.sh"
RECORD="$LUMARO_BIN/lumaro-record"

case_recording_ends_on_a_signal() {
  # Without --frames a recording runs until SIGTERM (the simulator's, after
  # the trace) or SIGINT, and keeps what it read.
  timeout 60 "$SIM" --rate 2000 --linger 0.2 --log "$WORK/sim.log" "$LUMARO_SCENES/tap.ltrace" \
    -- "$RECORD" --monitor "$WORK/no-daemon" "$WORK/term.ltrace" 2>"$WORK/record.log" ||
    fail "on SIGTERM: status $?"
  grep -q '^frame ' "$WORK/term.ltrace" || fail "no frames kept on SIGTERM"
  expect_replay "$WORK/term.ltrace" <("$REPLAY" "$LUMARO_SCENES/tap.ltrace" 2>/dev/null)
  expect_grep "$WORK/record.log" "frames recorded from /dev/lumaro"
  # SIGINT while frames still come (the scene lasts 8 s at this rate).
  "$SIM" --rate 100 --linger 60 --log "$WORK/sim-int.log" "$LUMARO_SCENES/circle.ltrace" \
    -- "$RECORD" --monitor "$WORK/no-daemon" "$WORK/int.ltrace" 2>"$WORK/record-int.log" &
  SIM_PID=$!
  wait_for 30 "the identification" log_has "$WORK/sim-int.log" '^ioctl 201 '
  kill -INT "$(pgrep -P "$SIM_PID")"
  wait "$SIM_PID" || fail "on SIGINT: status $?"
  grep -q '^frame ' "$WORK/int.ltrace" || fail "no frames kept on SIGINT"
  expect_no_grep "$WORK/sim-int.log" '^end of trace$'
}

run_case "$@"
