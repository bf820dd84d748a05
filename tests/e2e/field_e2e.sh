#!/usr/bin/env bash
# The field tools beside a running lumarod, as an unprivileged member of the
# readers' group: the live doctor, its history diagnosis and lumaro-record
# read the daemon's monitor stream and agree with the offline tools; without
# a daemon they read the node through its faults; the live view; and the
# fleet's metrics through a real node_exporter.
source "$(dirname "$0")/lib.sh"
DOCTOR="$LUMARO_BIN/lumaro-doctor"
RECORD="$LUMARO_BIN/lumaro-record"
MONITOR="$LUMARO_BIN/lumaro-monitor"
SOCKET="$WORK/run/monitor"
GID=4711
[ "$(id -u)" = 0 ] || cannot_run "switching users needs root"
# The daemon as nobody, with the node's group; the tools as another user in
# the readers' group.
DAEMON_AS=(setpriv --reuid=65534 --regid=65534 --groups="$GID" --inh-caps=-all)
MEMBER=(setpriv --reuid=4712 --regid=4712 --groups="$GID" --inh-caps=-all)
chmod 0755 "$WORK"
mkdir -m 0777 "$WORK/out" "$WORK/run"

# verdicts FILE: the status and id of each check line.
verdicts() { awk '{ print $1, $2 }' "$1"; }

case_beside_the_daemon() {
  local scene=$1 trace="$LUMARO_SCENES/$1.ltrace" offline=0
  "$DOCTOR" "$trace" >"$WORK/offline.txt" || offline=$?
  start_daemon "$(with_lead_in "$trace")" --node-group "$GID" --rate 2000 --linger 4 -- \
    --monitor-group "$GID"
  local live=0 last=0
  "${MEMBER[@]}" "$DOCTOR" --monitor "$SOCKET" --live 600 --save "$WORK/out/live.ltrace" \
    >"$WORK/live.txt" 2>"$WORK/doctor.log" &
  local doctor=$!
  "${MEMBER[@]}" "$RECORD" --monitor "$SOCKET" "$WORK/out/recorded.ltrace" 2>"$WORK/record.log" &
  local record=$!
  wait_for 60 "the end of the scene" log_has "$WORK/sim.log" '^end of trace$'
  # The daemon's history, at once, while it still runs.
  "${MEMBER[@]}" "$DOCTOR" --monitor "$SOCKET" --last 3600 >"$WORK/last.txt" 2>"$WORK/last.log" ||
    last=$?
  wait "$doctor" || live=$?
  wait "$record" || fail "lumaro-record failed: $(cat "$WORK/record.log")"
  finish_daemon
  for got in live last; do
    [ "${!got}" = "$offline" ] || fail "the $got doctor exited ${!got}, offline $offline"
    diff <(verdicts "$WORK/offline.txt") <(verdicts "$WORK/$got.txt") >&2 ||
      fail "the $got doctor's verdicts differ"
  done
  expect_grep "$WORK/doctor.log" "recording"
  # The daemon's reports are the replay's, and so are those of the record.
  grep '^report' "$WORK/sim.log" >"$WORK/daemon-reports.txt" || fail "no reports"
  expect_replay "$trace" "$WORK/daemon-reports.txt"
  expect_replay "$WORK/out/recorded.ltrace" "$WORK/daemon-reports.txt"
  expect_grep "$WORK/record.log" "frames recorded from the daemon's monitor stream"
  echo "$scene: $(verdicts "$WORK/live.txt" | grep -cv '^ok') findings as offline;" \
    "$(wc -l <"$WORK/daemon-reports.txt") reports, recording replays identical"
}

case_flaky_node_without_daemon() {
  local status=0
  timeout 120 "$SIM" --rate 480 --linger 1 --log "$WORK/sim.log" "$LUMARO_SCENES/flaky-cable.ltrace" -- \
    "$DOCTOR" --monitor "$WORK/no-daemon" --live 600 --save "$WORK/flaky.ltrace" \
    --png "$WORK/flaky.png" >"$WORK/out.txt" 2>"$WORK/err.log" || status=$?
  [ "$status" = 1 ] || fail "exit status $status"
  expect_grep "$WORK/out.txt" "^warn  link .*read errors [1-9]"
  expect_grep "$WORK/err.log" "recording [0-9]+ of 600 s, [0-9]+ frames"
  expect_no_grep "$WORK/err.log" $'\r' # progress in place only on a terminal
  is_png "$WORK/flaky.png" || fail "no picture"
  expect_grep "$WORK/flaky.ltrace" "^readerr 5$"
  expect_grep "$WORK/flaky.ltrace" "^(unplug|readerr 19)$"
  # Recorded through every fault: it replays as the scene does.
  expect_replay "$WORK/flaky.ltrace" <("$REPLAY" "$LUMARO_SCENES/flaky-cable.ltrace" 2>/dev/null)
}

case_live_view() {
  # Beside the daemon, on the pinch: two fingers down, moving, and up.
  start_daemon "$(with_lead_in "$LUMARO_SCENES/pinch.ltrace")" --node-group "$GID" --linger 0.5 \
    -- --monitor-group "$GID"
  local status=0
  "${MEMBER[@]}" "$MONITOR" --monitor "$SOCKET" --screen 1920x1080 >"$WORK/pinch.txt" \
    2>"$WORK/monitor.log" || status=$?
  finish_daemon
  [ "$status" = 1 ] || fail "exit status $status when the daemon stopped"
  expect_grep "$WORK/monitor.log" "the daemon closed its stream"
  expect_grep "$WORK/pinch.txt" "^ +[0-9.]+  identify +product 0x0c20$"
  expect_grep "$WORK/pinch.txt" "^ +[0-9.]+  rate +[1-9][0-9]* scans/s$"
  for slot in 0 1; do
    [ "$(grep -cE "touch-down +slot $slot  x [0-9]+ y [0-9]+  \([0-9]+, [0-9]+ px\)$" "$WORK/pinch.txt")" = 1 ] ||
      fail "not one touch-down in slot $slot"
    [ "$(grep -cE "touch-up +slot $slot " "$WORK/pinch.txt")" = 1 ] || fail "not one touch-up in slot $slot"
  done
  # Without a daemon, from the node: the link's faults, as JSON lines.
  timeout 120 "$SIM" --rate 480 --linger 1 --log "$WORK/sim.log" "$LUMARO_SCENES/flaky-cable.ltrace" -- \
    "$MONITOR" --json --monitor "$WORK/no-daemon" >"$WORK/flaky.json" 2>"$WORK/monitor.log" ||
    fail "from the node: $(cat "$WORK/monitor.log")"
  python3 -c 'import json,sys
events = [json.loads(line) for line in open(sys.argv[1])]
kinds = [e["event"] for e in events]
assert kinds[0] == "identify" and events[0]["product"] == "0x0c20", events[0]
assert {5, 0} <= {e.get("errno") for e in events if e["event"] == "read-error"}, kinds  # EIO, empty
assert kinds.count("touch-down") == kinds.count("touch-up") >= 1, kinds
assert all("px" not in e for e in events), "pixels without a screen"' "$WORK/flaky.json" ||
    fail "JSON: $(head -c 600 "$WORK/flaky.json")"
}

case_fleet_metrics() {
  local exporter=/usr/bin/prometheus-node-exporter
  [ -x "$exporter" ] || missing_host_piece "$exporter" prometheus-node-exporter
  mkdir "$WORK/textfile"
  start_daemon "$LUMARO_SCENES/dirty-lens.ltrace" --node-group "$GID" --rate 2000 --linger 30 \
    -- --monitor-group "$GID"
  wait_for 60 "the end of the scene" log_has "$WORK/sim.log" '^end of trace$'
  # The health service's own command, once, as the timer starts it.
  local unit="$(dirname "$0")/../../packaging/lumaro-health.service.in" command status=0
  command=$(sed -n 's/^ExecStart=//p' "$unit")
  command=${command//@LUMARO_BINDIR@/$LUMARO_BIN}
  command=${command///var\/lib\/prometheus\/node-exporter/$WORK/textfile}
  $command --monitor "$SOCKET" >"$WORK/health.out" 2>"$WORK/health.log" || status=$?
  [ "$status" = 2 ] || fail "the health service's command exited $status"
  stop_daemon
  [ "$(ls "$WORK/textfile")" = lumaro.prom ] || fail "the collector's directory: $(ls "$WORK/textfile")"
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$WORK/textfile" >"$WORK/exporter.log" 2>&1 &
  EXPORTER_PID=$!
  trap 'kill "$EXPORTER_PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  fetch() {
    python3 -c 'import sys, urllib.request
sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
      "http://127.0.0.1:$port/metrics" >"$WORK/metrics.txt" 2>/dev/null
  }
  wait_for 30 "node_exporter's /metrics" fetch
  expect_grep "$WORK/metrics.txt" '^lumaro_check\{check="camera-a.obstruction"\} 2$'
  expect_grep "$WORK/metrics.txt" '^lumaro_verdict 2$'
  expect_grep "$WORK/metrics.txt" '^lumaro_link_events\{event="frames"\} [1-9]'
  expect_grep "$WORK/metrics.txt" '^node_textfile_scrape_error 0$'
  grep -c '^lumaro_' "$WORK/metrics.txt" | sed 's/$/ lumaro_ samples in node_exporter'"'"'s \/metrics/'
}

run_case "$@"
