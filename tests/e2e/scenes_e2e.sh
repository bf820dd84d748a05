#!/usr/bin/env bash
# The bundled scenes end to end: a live lumarod under the simulator reports
# each scene's fingers where the scene put them, lifts once, and agrees with
# the offline replay line for line (whose slots the golden replays pin); its
# plot is a picture.
source "$(dirname "$0")/lib.sh"
: "${LUMARO_SCENES:?LUMARO_SCENES must name the rendered scenes}"

case_scene() {
  local name=$1
  cp "$LUMARO_SCENES/$name.ltrace" "$WORK/scene.ltrace"
  run_daemon scene.ltrace --rate 2000 || fail "simulator failed"
  grep '^report ' "$WORK/sim.log" >"$WORK/live.out" || fail "no reports"
  expect_replay "$WORK/scene.ltrace" "$WORK/live.out"

  "$LUMARO_BIN/lumaro-plot" "$WORK/scene.ltrace" "$WORK/live.out" --stats -o "$WORK/plot.png" \
    >"$WORK/stats.out" || fail "lumaro-plot failed"
  is_png "$WORK/plot.png" || fail "the plot is not a PNG"
  echo "$name: $(tr '\n' ' ' <"$WORK/stats.out")"
  # On average one finger within 1% of the report range (327.68), two within
  # 2%; something reported down, and exactly one lift.
  awk '$1 == "scans" { fingers = $4 } { v[$1] = $2 } END {
    exit !(v["mean-error"] < (fingers > 1 ? 2 : 1) * 327.68 && v["down-points"] > 0 && v["lifts"] == 1)
  }' "$WORK/stats.out" || fail "$name: the stats above are out of bounds"
}

run_case "$@"
