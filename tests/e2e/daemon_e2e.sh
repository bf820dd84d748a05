#!/usr/bin/env bash
# lumarod end to end: the real daemon under the controller simulator.
source "$(dirname "$0")/lib.sh"

zeros() { printf '00%.0s' $(seq 1 "$1"); }
# A 0x0c20 controller with a readable identity.
INFO="0005$(zeros 5)313932307831303830$(zeros 12)"  # series 5, size 1920x1080
GEOMETRY=07$(zeros 57)   # pos 7, otherwise zero: default scale
IDENTITY="ProductID=0xc20 pos=7, ProductSeries=5, size=1920x1080"

camera_controller() {
  echo "product 0x0c20"
  echo "block 201 $INFO"
  echo "block 240 $GEOMETRY"
}

case_first_open_and_reidentification() {
  { camera_controller
    echo "frame 0000010100"
    echo "frame 0000010101"
    echo "# a frame marked 0xA1: identify again, then the frame goes on as usual"
    echo "frame a1000101000000"
    echo "frame 0000010101"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_output "$WORK/daemon.out" <<T
process enter
open touch success
$IDENTITY
KixUSBInitCore_0x0c20 init end
$IDENTITY
touch have init
KixUSBInitCore_0x0c20 init end
T
  # Both identifications issue the whole request sequence.
  [ "$(grep -c '^ioctl ' "$WORK/sim.log")" = 16 ] || fail "expected 16 requests"
  grep -m 8 '^ioctl' "$WORK/sim.log" | cut -d' ' -f2 | tr '\n' ' ' >"$WORK/codes.out"
  expect_output "$WORK/codes.out" <<<"202 195 196 206 240 241 242 201 "
  expect_grep "$WORK/sim.log" "^end of trace$"
  expect_grep "$WORK/sim.log" "^command ended by lumaro-sim$"
}

case_reidentification_sees_records_above_the_frame() {
  { camera_controller
    echo "frame 0000010100"
    echo "block 240 09$(zeros 57)"
    echo "frame a1000101000000"
    echo "block 240 0b$(zeros 57)"
    echo "frame 0000010100"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_grep "$WORK/daemon.out" "^ProductID=0xc20 pos=9, "
  expect_no_grep "$WORK/daemon.out" "pos=11"
}

case_other_product_is_read_without_setup() {
  { echo "product 0x0a10"
    echo "block 201 $INFO"
    echo "block 240 $GEOMETRY"
    echo "frame 0000010100"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_output "$WORK/daemon.out" <<T
process enter
open touch success
ProductID=0xa10 pos=0, ProductSeries=5, size=1920x1080
T
  grep '^ioctl' "$WORK/sim.log" >"$WORK/requests.out"
  expect_output "$WORK/requests.out" <<T
ioctl 202 0
ioctl 201 0
T
  expect_grep "$WORK/sim.log" "^end of trace$"  # frames were still read
}

case_failed_lens_request_stops_identification() {
  { camera_controller
    echo "fail 241"
    echo "frame 0000010100"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_output "$WORK/daemon.out" <<T
process enter
open touch success
touch have init
KixUSBInitCore_0x0c20 init end
T
  grep '^ioctl' "$WORK/sim.log" | cut -d' ' -f2,3 | tr '\n' ' ' >"$WORK/requests.out"
  expect_output "$WORK/requests.out" <<<"202 0 195 0 196 0 206 0 240 0 241 -1 "
}

case_read_error_releases_and_reopens() {
  { camera_controller
    echo "frame 0000010100"
    echo "readerr 5"
    echo "block 201 0006$(zeros 5)36343078343830$(zeros 14)"
    echo "frame 0000010100"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_output "$WORK/daemon.out" <<T
process enter
open touch success
$IDENTITY
KixUSBInitCore_0x0c20 init end
KixUSBDeviceReleaseHardware--
read error -1 :Input/output error
open touch success
ProductID=0xc20 pos=7, ProductSeries=6, size=640x480
touch have init
KixUSBInitCore_0x0c20 init end
T
  # The reopen came a second after the failure.
  local failed reopened
  failed=$(grep -m1 'read error' "$WORK/stamped.out" | cut -d' ' -f1)
  reopened=$(grep 'open touch success' "$WORK/stamped.out" | sed -n 2p | cut -d' ' -f1)
  awk -v a="$failed" -v b="$reopened" 'BEGIN { exit !(b - a >= 0.9) }' ||
    fail "reopened after less than a second"
}

case_time_outs_are_read_past() {
  { camera_controller
    echo "readerr 110"
    echo "readerr 62"
    echo "frame 0000010100"
    echo "readerr 110"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_no_grep "$WORK/daemon.out" "read error|KixUSBDeviceReleaseHardware"
  [ "$(grep -c 'open touch success' "$WORK/daemon.out")" = 1 ] || fail "the session was reopened"
  expect_grep "$WORK/sim.log" "^end of trace$"
}

case_unplugged_node_is_retried_until_it_returns() {
  { camera_controller
    echo "frame 0000010100"
    echo "unplug"
    echo "wait 6000"
    echo "plug"
    echo "frame 0000010100"
  } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  expect_grep "$WORK/daemon.out" "^read error -1 :No such device$"
  local errors
  errors=$(grep -c '^open touch error$' "$WORK/daemon.out")
  [ "$errors" -ge 2 ] || fail "only $errors open errors while unplugged"
  # Retries are two seconds apart.
  grep ' open touch error$' "$WORK/stamped.out" | cut -d' ' -f1 |
    awk 'NR > 1 && $1 - last < 1.9 { bad = 1 } { last = $1 } END { exit bad }' ||
    fail "open retries closer than two seconds"
  # Back in session after the plug: identified again and reading.
  tail -n 4 "$WORK/daemon.out" >"$WORK/tail.out"
  expect_output "$WORK/tail.out" <<T
open touch success
$IDENTITY
touch have init
KixUSBInitCore_0x0c20 init end
T
  expect_grep "$WORK/sim.log" "^end of trace$"
  expect_grep "$WORK/sim.log" "^command ended by lumaro-sim$"
}

case_no_node_at_all() {
  # The node is gone from the start and never comes back: the daemon keeps
  # trying and never exits by itself.
  { echo "unplug"; echo "wait 4500"; } | write_trace t.ltrace
  run_daemon t.ltrace || fail "simulator failed"
  local errors
  errors=$(grep -c '^open touch error$' "$WORK/daemon.out")
  [ "$errors" -ge 2 ] || fail "only $errors open errors"
  expect_no_grep "$WORK/daemon.out" "open touch success"
  expect_grep "$WORK/sim.log" "^command ended by lumaro-sim$"
}

run_case "$@"
