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

frames=100000 cycles=10 stall=2000
if [ "${1:-}" = "--long" ]; then frames=1000000 cycles=100 stall=10000; fi

bash "$(dirname "$0")/make_soak_trace.sh" "$LUMARO_SCENES" "$frames" "$cycles" "$stall" \
  >"$WORK/soak.ltrace"
served=$(grep -c '^frame ' "$WORK/soak.ltrace")

# A run of the daemon under the simulator; the daemon's resident memory is
# sampled once it reports and again at the end of the trace.
"$SIM" --rate 100000 --linger 1 --short-read-every 997 --fail-every 89 \
  --log "$WORK/sim.log" "$WORK/soak.ltrace" -- "$DAEMON" >"$WORK/daemon.out" 2>&1 &
sim_pid=$!
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
SIM_PID=$sim_pid wait_for 600 "the first report" log_has "$WORK/sim.log" '^report '
daemon_pid=$(pgrep -P "$sim_pid" -x lumarod) || fail "no lumarod process"
rss_start=$(rss "$daemon_pid")
until grep -q '^end of trace$' "$WORK/sim.log"; do
  kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended before the trace did"
  sleep 0.5
done
rss_end=$(rss "$daemon_pid")
# The daemon's end is the simulator's SIGTERM after the trace: status 143.
status=0
wait "$sim_pid" || status=$?
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
bash "$(dirname "$0")/make_soak_trace.sh" "$LUMARO_SCENES" 20000 4 500 >"$WORK/leak.ltrace"
if [ -n "${LUMARO_SANITIZED:-}" ]; then
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1" \
    "$LUMARO_BIN/lumaro-replay" "$WORK/leak.ltrace" >/dev/null 2>"$WORK/lsan.log" ||
    { tail -20 "$WORK/lsan.log"; fail "LeakSanitizer finds leaks in the daemon's loop"; }
  echo "soak: LeakSanitizer: no leaks in the daemon's loop over $(grep -c '^unplug' "$WORK/leak.ltrace") unplugs"
  exit 0
fi
command -v valgrind >/dev/null || missing_host_piece valgrind valgrind
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
