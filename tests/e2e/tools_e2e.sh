#!/usr/bin/env bash
# Record, replay and scenes end to end: the daemon's reports from a live run
# under the simulator and from the offline replay of the same trace agree
# line for line.
source "$(dirname "$0")/lib.sh"
REPLAY="$LUMARO_BIN/lumaro-replay"
RECORD="$LUMARO_BIN/lumaro-record"
SCENE="$LUMARO_BIN/lumaro-scene"

# live_reports TRACE: the reports a live lumarod writes for TRACE.
live_reports() {
  run_daemon "$1" --rate 2000 || fail "simulator failed"
  grep '^report ' "$WORK/sim.log" >"$WORK/live.out" || true
}

case_replay_matches_live_run() {
  for seed in 3 11; do
    "$SCENE" random "$seed" >"$WORK/scene.ltrace"
    live_reports scene.ltrace
    "$REPLAY" "$WORK/scene.ltrace" >"$WORK/replay.out" 2>"$WORK/replay-diag.log" ||
      fail "replay failed"
    [ -s "$WORK/live.out" ] || fail "seed $seed: no reports at all"
    diff "$WORK/live.out" "$WORK/replay.out" >"$WORK/diff.log" ||
      fail "seed $seed: replay and live reports differ"
  done
  # The daemon's diagnostics go to standard error in a replay.
  expect_grep "$WORK/replay-diag.log" "^KixUSBInitCore_0x0c20 init end$"
}

case_replay_matches_live_run_across_reconnects() {
  "$SCENE" demo >"$WORK/demo.ltrace"
  # Cut the scene with a read error, a time-out, a re-identification and an
  # unplug; each session starts from fresh filters.
  awk 'NR == 300 { print "readerr 5" } NR == 400 { print "readerr 110" }
       NR == 500 { print "frame a1000101" } NR == 600 { print "unplug"; print "wait 100"; print "plug" }
       { print }' "$WORK/demo.ltrace" >"$WORK/cut.ltrace"
  live_reports cut.ltrace
  "$REPLAY" "$WORK/cut.ltrace" >"$WORK/replay.out" 2>/dev/null || fail "replay failed"
  [ -s "$WORK/live.out" ] || fail "no reports at all"
  diff "$WORK/live.out" "$WORK/replay.out" >"$WORK/diff.log" || fail "replay and live reports differ"
  expect_grep "$WORK/daemon.out" "^read error -1 :No such device$"
}

case_recording_reproduces_the_played_trace() {
  "$SCENE" random 5 >"$WORK/scene.ltrace"
  local frames
  frames=$(grep -c '^frame ' "$WORK/scene.ltrace")
  timeout 120 "$SIM" --rate 2000 --linger 0.2 --log "$WORK/sim.log" "$WORK/scene.ltrace" -- \
    "$RECORD" --frames "$frames" "$WORK/recorded.ltrace" 2>"$WORK/record.log" ||
    fail "recording failed"
  expect_grep "$WORK/record.log" "$frames frames recorded"
  diff <(grep '^frame ' "$WORK/scene.ltrace") <(grep '^frame ' "$WORK/recorded.ltrace") \
    >"$WORK/diff.log" || fail "recorded frames differ"
  "$REPLAY" "$WORK/scene.ltrace" >"$WORK/a.out" 2>/dev/null
  "$REPLAY" "$WORK/recorded.ltrace" >"$WORK/b.out" 2>/dev/null
  diff "$WORK/a.out" "$WORK/b.out" >"$WORK/diff.log" || fail "the recording replays differently"
}

case_malformed_trace_is_named() {
  printf 'lumaro-trace 1\nframe xyz\n' >"$WORK/bad.ltrace"
  local status=0
  "$REPLAY" "$WORK/bad.ltrace" >"$WORK/out.log" 2>"$WORK/err.log" || status=$?
  [ "$status" = 2 ] || fail "exit status $status"
  expect_grep "$WORK/err.log" "bad.ltrace: line 2: bad hex 'xyz'"
  [ ! -s "$WORK/out.log" ] || fail "reports from a malformed trace"
}

run_case "$@"
