#!/usr/bin/env bash
# The bundled scenes end to end: a live lumarod under the simulator reports
# each scene's fingers where the scene put them, lifts once, and agrees with
# the offline replay line for line (whose slots the golden replays pin); its
# plot is a picture.
source "$(dirname "$0")/lib.sh"
: "${LUMARO_SCENES:?LUMARO_SCENES must name the rendered scenes}"
PLOT="$LUMARO_BIN/lumaro-plot"
REPLAY="$LUMARO_BIN/lumaro-replay"

# One percent of the report range.
ONE_PERCENT=327.68

stat() { awk -v key="$1" '$1 == key { print $2 }' "$WORK/stats.out"; }

case_scene() {
  local name=$1
  cp "$LUMARO_SCENES/$name.ltrace" "$WORK/scene.ltrace"
  run_daemon scene.ltrace --rate 2000 || fail "simulator failed"
  grep '^report ' "$WORK/sim.log" >"$WORK/live.out" || fail "no reports"
  "$REPLAY" "$WORK/scene.ltrace" >"$WORK/replay.out" 2>/dev/null || fail "replay failed"
  diff "$WORK/live.out" "$WORK/replay.out" >"$WORK/diff.log" || fail "replay differs from live"

  "$PLOT" "$WORK/scene.ltrace" "$WORK/live.out" --stats -o "$WORK/plot.png" >"$WORK/stats.out" ||
    fail "lumaro-plot failed"
  is_png "$WORK/plot.png" || fail "the plot is not a PNG"
  echo "$name: $(tr '\n' ' ' <"$WORK/stats.out")"

  local fingers mean bound
  fingers=$(awk '$1 == "scans" { print $4 }' "$WORK/stats.out")
  mean=$(stat mean-error)
  # One finger within 1% of full scale on average; two within 2%.
  bound=$(awk -v f="$fingers" -v p="$ONE_PERCENT" 'BEGIN { print (f > 1 ? 2 : 1) * p }')
  awk -v m="$mean" -v b="$bound" 'BEGIN { exit !(m < b) }' ||
    fail "$name: mean error $mean is not below $bound"
  [ "$(stat down-points)" -gt 0 ] || fail "$name: nothing was reported down"
  [ "$(stat lifts)" = 1 ] || fail "$name: $(stat lifts) lift reports, expected exactly one"
}

run_case "$@"
