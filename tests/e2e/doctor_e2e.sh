#!/usr/bin/env bash
# lumaro-doctor end to end: its exit statuses, JSON and picture (the live
# doctor is field_e2e.sh's).
source "$(dirname "$0")/lib.sh"
DOCTOR="$LUMARO_BIN/lumaro-doctor"

case_command_line_and_outputs() {
  local status=0
  "$DOCTOR" --json --png "$WORK/dirty.png" "$LUMARO_SCENES/dirty-lens.ltrace" >"$WORK/out.json" ||
    status=$?
  [ "$status" = 2 ] || fail "dirty lens: exit status $status"
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))
assert d["verdict"] == "fail" and d["scans"] == 600, d
c = {x["id"]: x for x in d["checks"]}
assert c["camera-a.obstruction"]["samples"] == [560, 576], c["camera-a.obstruction"]
assert c["camera-b.noise"]["per_100_scans"] == 0' "$WORK/out.json" || fail "JSON: $(cat "$WORK/out.json")"
  is_png "$WORK/dirty.png" || fail "no PNG written"
  status=0
  "$DOCTOR" "$LUMARO_SCENES/calibrated.ltrace" >"$WORK/out.txt" || status=$?
  [ "$status" = 0 ] || fail "healthy calibrated scene: exit status $status"
  [ "$(grep -c '^ok ' "$WORK/out.txt")" = 12 ] || fail "not 12 ok lines: $(cat "$WORK/out.txt")"
}

run_case "$@"
