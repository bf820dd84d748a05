#!/usr/bin/env bash
# The daemon unattended: lumarod under the simulator through a long trace
# with every kind of device fault and CYCLES unplug/replug cycles. It must
# reconnect every time, report again after every reconnect, keep its memory
# flat and leak nothing.
#   soak.sh            the short form (100,000 frames, 10 cycles, 2 s stall)
#   soak.sh --long     the long form (1,000,000 frames, 100 cycles, 10 s stall)
set -euo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
: "${LUMARO_SCENES:?LUMARO_SCENES must name the rendered scenes}"

# soak_trace FRAMES CYCLES STALL_MS: the camera controller of the rendered
# scenes, their frames over and over, and in each of CYCLES cycles every kind
# of fault: malformed frames, a read error that ends the session or one that
# is read past (EINTR, EIO, 0 bytes, time-outs), a request that fails during
# the next identification, a re-identification, and an unplug with its
# replug. One stall of STALL_MS in the middle.
soak_trace() {
  local frames=$1 cycles=$2 stall=$3 s
  # The controller's identity and blocks, from one scene.
  grep -E '^(lumaro-trace|product|block) ' "$LUMARO_SCENES/two-crossing.ltrace"
  # All the scenes' frames, in one stream that is played round and round.
  for s in circle two-crossing pinch two-apart slow-drag fast-swipe tap; do
    grep '^frame ' "$LUMARO_SCENES/$s.ltrace"
  done | awk -v frames="$frames" -v cycles="$cycles" -v stall="$stall" '
    { pool[n++] = $0 }
    END {
      per = int(frames / cycles)
      split("readerr 4|readzero|readerr 5|readerr 110|readerr 62", ends, "|")
      split("195|196|206|240|241|242|201|202", codes, "|")
      # Malformed frames: length 0, 1, 61, 255; half 2; type 2; a second half
      # without a first; a frame cut short.
      bad = split("00000100001f 0000010100 00000161000102030405060708090a0b0c0d0e0f 000001ff00fe " \
        "0000010402010203 0000020400010203 0000010401010203 000001", malformed, " ")
      for (c = 0; c < cycles; c++) {
        for (i = 0; i < per; i++) print pool[(c * per + i) % n]
        for (i = 1; i <= bad; i++) print "frame " malformed[i]
        print "readerr 110"
        # A fault that ends the session, a failing request at the reopen, and
        # every fourth cycle a re-identification instead.
        print ends[c % 5 + 1]
        print "failonce " codes[c % 8 + 1]
        if (c % 4 == 3) print "frame a1000101"
        if (c == int(cycles / 2)) print "wait " stall
        print "unplug"
        print "wait 50"
        print "plug"
      }
      for (i = 0; i < 200; i++) print pool[i % n]
    }'
}

frames=100000 cycles=10 stall=2000
if [ "${1:-}" = "--long" ]; then frames=1000000 cycles=100 stall=10000; fi

soak_trace "$frames" "$cycles" "$stall" >"$WORK/soak.ltrace"
served=$(grep -c '^frame ' "$WORK/soak.ltrace")

# A run of the daemon under the simulator; the daemon's resident memory is
# sampled once it reports and again at the end of the trace.
"$SIM" --rate 100000 --linger 1 --short-read-every 997 --fail-every 89 \
  --log "$WORK/sim.log" "$WORK/soak.ltrace" -- "$DAEMON" >"$WORK/daemon.out" 2>&1 &
SIM_PID=$!
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
wait_for 600 "the first report" log_has "$WORK/sim.log" '^report '
daemon_pid=$(pgrep -P "$SIM_PID" -x lumarod) || fail "no lumarod process"
rss_start=$(rss "$daemon_pid")
wait_for 1800 "the end of the trace" grep -q '^end of trace$' "$WORK/sim.log"
rss_end=$(rss "$daemon_pid")
# The daemon's end is the simulator's SIGTERM after the trace: status 143.
status=0
wait "$SIM_PID" || status=$?
[ "$status" = 143 ] || fail "simulator status $status"

# The daemon never ended by itself, and came back after every cycle.
expect_grep "$WORK/sim.log" '^command ended by lumaro-sim$'
sessions=$(grep -c '^open touch success$' "$WORK/daemon.out")
[ "$sessions" -gt "$cycles" ] || fail "$sessions sessions for $cycles cycles"
# Every stretch between a replug and the next unplug (and the last) has
# reports: the daemon reports again after each reconnect.
awk '/^plug$/ { open = 1; n = 0 } /^report / { n++ }
     /^unplug$/ && open { if (n == 0) silent++; open = 0 }
     END { if (open && n == 0) silent++; exit silent > 0 }' "$WORK/sim.log" ||
  fail "no reports after a reconnect"
[ $((rss_end - rss_start)) -le 1024 ] || fail "resident memory grew from $rss_start kB to $rss_end kB"

echo "soak: $served frames, $sessions sessions, $(grep -c '^report ' "$WORK/sim.log") reports," \
  "resident memory $rss_start kB at start, $rss_end kB at end"

# Leaks: a shorter run under valgrind. The sanitizer build's own runtime
# stands in valgrind's way, and its LeakSanitizer never sees the daemon here
# (SIGTERM ends it before the exit-time check); there the same trace goes
# through the daemon's loop in lumaro-replay, which ends by itself, so
# LeakSanitizer checks every session's allocations at its exit.
soak_trace 20000 4 500 >"$WORK/leak.ltrace"
if [ -n "${LUMARO_SANITIZED:-}" ]; then
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1" \
    "$REPLAY" "$WORK/leak.ltrace" >/dev/null 2>"$WORK/lsan.log" ||
    { tail -20 "$WORK/lsan.log"; fail "LeakSanitizer finds leaks in the daemon's loop"; }
  echo "soak: LeakSanitizer: no leaks in the daemon's loop over $(grep -c '^unplug' "$WORK/leak.ltrace") unplugs"
  exit 0
fi
need valgrind:valgrind
timeout 1800 "$SIM" --rate 100000 --linger 2 --short-read-every 97 --fail-every 23 \
  --log "$WORK/leak-sim.log" "$WORK/leak.ltrace" -- \
  valgrind --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --log-file="$WORK/valgrind.log" "$DAEMON" \
  >/dev/null 2>&1 || [ $? = 143 ] || fail "the leak-check run failed"  # 143: SIGTERM at the end
grep -q 'definitely lost: 0 bytes' "$WORK/valgrind.log" ||
  { grep -A3 'LEAK SUMMARY' "$WORK/valgrind.log"; fail "valgrind finds leaks"; }
grep -q 'ERROR SUMMARY: 0 errors' "$WORK/valgrind.log" ||
  { grep 'ERROR SUMMARY' "$WORK/valgrind.log"; fail "valgrind finds errors"; }
echo "soak: valgrind: $(grep -o 'definitely lost: [0-9,]* bytes' "$WORK/valgrind.log"), 0 errors"
