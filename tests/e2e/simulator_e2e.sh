#!/usr/bin/env bash
# The simulator end to end: a real client process (node-probe) against the
# node that lumaro-sim serves under umockdev.
source "$(dirname "$0")/lib.sh"

probe() { # probe TRACE [SIM OPTIONS] -- STEPS...
  local trace=$1
  shift
  local opts=()
  while [ "$1" != "--" ]; do opts+=("$1"); shift; done
  shift
  timeout 60 "$SIM" --linger 0.2 --log "$WORK/sim.log" "${opts[@]}" "$WORK/$trace" -- \
    "$PROBE" "$@" >"$WORK/probe.out" 2>"$WORK/sim-stderr.log"
}

case_malformed_trace_is_refused() {
  write_trace bad.ltrace <<'T'
product 0x0c20
frame a0 00
T
  local status=0
  "$SIM" "$WORK/bad.ltrace" -- touch "$WORK/ran" 2>"$WORK/err.log" || status=$?
  [ "$status" = 2 ] || fail "exit status $status, expected 2"
  expect_grep "$WORK/err.log" "bad.ltrace: line 3: 'frame' takes 1 field, found 2"
  [ ! -e "$WORK/ran" ] || fail "the command ran despite the malformed trace"
}

case_command_exit_status_is_passed_on() {
  write_trace t.ltrace </dev/null
  local status=0
  "$SIM" "$WORK/t.ltrace" -- sh -c 'exit 3' 2>/dev/null || status=$?
  [ "$status" = 3 ] || fail "exit status $status, expected 3"
  status=0
  "$SIM" "$WORK/t.ltrace" -- /nonexistent/program 2>"$WORK/err.log" || status=$?
  [ "$status" = 127 ] || fail "exit status $status for a missing program, expected 127"
}

case_requests_and_stored_state() {
  local calib config
  calib=$(printf '%02x' $(seq 1 58))
  config=$(printf '00%.0s' $(seq 1 10))01$(printf '00%.0s' $(seq 1 47))
  write_trace t.ltrace <<T
product 0x0c20
block 206 $(printf '00%.0s' $(seq 1 58))
T
  probe t.ltrace --state-out "$WORK/state.ltrace" -- open get 202 set 193 "$calib" \
    set 205 "$config" get 206 set 199 01 get 206 set 197 01 get 195 get 192 get 77 ||
    fail "probe failed"
  expect_output "$WORK/probe.out" <<T
open 0
get 0 200c0000
set 0 $calib
set 0 $config
get 0 $config
set 0 01
get 0 $(printf '00%.0s' $(seq 1 58))
set 0 01
get 0 $calib
get -1 Resource temporarily unavailable
get -1 Inappropriate ioctl for device
T
  expect_grep "$WORK/sim.log" "^ioctl 193 0 $calib\$"
  expect_grep "$WORK/sim.log" "^ioctl 199 0 01\$"
  expect_grep "$WORK/sim.log" "^ioctl 197 0 01\$"
  expect_grep "$WORK/state.ltrace" "^block 195 $calib\$"

  # The stored state is what the next run's controller holds.
  probe state.ltrace -- open get 195 get 202 || fail "second probe failed"
  expect_output "$WORK/probe.out" <<T
open 0
get 0 $calib
get 0 200c0000
T
}

case_reads_follow_the_trace() {
  write_trace t.ltrace <<'T'
frame a0000106000a0a0a0a0a0a0a0a0a0a0a
frame a1
readerr 110
fail 240
unplug
wait 300
block 240 07000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
plug
frame a2
T
  probe t.ltrace -- open read read read get 240 read open open-wait get 240 read read ||
    fail "probe failed"
  # A short frame overwrites only its own bytes of the reader's buffer.
  local zeros
  zeros=$(printf '00%.0s' $(seq 1 58))
  # `fail 240` lies below the read error, so it applies only at the next read.
  expect_output "$WORK/probe.out" <<T
open 0
read 16 a0000106000a0a0a0a0a0a0a0a0a0a0a
read 1 a1000106000a0a0a0a0a0a0a0a0a0a0a
read -1 Connection timed out
get 0 $zeros
read -1 No such device
open -1 No such file or directory
open-wait 0
get -1 Input/output error
read 1 a2000106000a0a0a0a0a0a0a0a0a0a0a
T
  # Playback ended: the last read waited until the command was ended.
  expect_grep "$WORK/sim.log" "^end of trace$"
  expect_grep "$WORK/sim.log" "^unplug$"
  expect_grep "$WORK/sim.log" "^plug$"
}

case_reports_are_logged() {
  write_trace t.ltrace </dev/null
  probe t.ltrace -- open write 000112340567010000000000 || fail "probe failed"
  expect_grep "$WORK/probe.out" "^write 12$"
  expect_grep "$WORK/sim.log" "^report 000112340567010000000000$"
}

case_frames_are_paced() {
  { for i in $(seq 1 30); do echo "frame a0"; done; } | write_trace t.ltrace
  local steps=() start end
  for i in $(seq 1 30); do steps+=(read); done
  start=$EPOCHREALTIME
  probe t.ltrace --rate 60 -- open "${steps[@]}" || fail "probe failed"
  end=$EPOCHREALTIME
  # 30 frames at 60 a second cannot arrive in less than half a second.
  awk -v s="$start" -v e="$end" 'BEGIN { exit !(e - s >= 0.48) }' ||
    fail "30 frames at 60/s took only $(awk -v s="$start" -v e="$end" 'BEGIN{print e-s}') s"
}

case_packets_follow_the_trace() {
  write_trace t.ltrace <<'T'
packet 0107d0071004
frame a0
event 00112233445566778899
wait 4
packet 0107d1071104
readerr 5
packet 0106d1071104
unplug
wait 200
plug
packet 010700010002
T
  probe t.ltrace -- open packet packet packet packet open-wait packet packet ||
    fail "probe failed"
  # Frames, events and read errors are not part of the packet stream; a
  # packet due within 10 ms is waited for; the unplug fails the pending
  # request; at the end of the trace nothing comes.
  expect_output "$WORK/probe.out" <<'T'
open 0
packet 0 0107d0071004
packet 0 0107d1071104
packet 0 0106d1071104
packet -1 No such device
open-wait 0
packet 0 010700010002
packet -1 Resource temporarily unavailable
T
  # The EAGAIN at the end is not logged.
  expect_output "$WORK/sim.log" <<'T'
ioctl 192 0
ioctl 192 0
ioctl 192 0
unplug
ioctl 192 -1
plug
ioctl 192 0
end of trace
command exited 0
T
}

case_packet_not_due_fails_after_a_poll() {
  write_trace t.ltrace <<'T'
packet 000700000000
wait 5000
packet 000701000100
T
  probe t.ltrace -- open packet mark packet packet packet packet packet elapsed-min 50 ||
    fail "probe failed"
  # Each request waits 10 ms for a packet due 5 s later, then gives up.
  expect_output "$WORK/probe.out" <<'T'
open 0
packet 0 000700000000
mark
packet -1 Resource temporarily unavailable
packet -1 Resource temporarily unavailable
packet -1 Resource temporarily unavailable
packet -1 Resource temporarily unavailable
packet -1 Resource temporarily unavailable
elapsed-min 50 ok
T
  expect_no_grep "$WORK/sim.log" "^ioctl 192 -1"
}

case_packets_are_paced() {
  { for i in $(seq 10 30); do echo "packet 0007${i}000000"; done; } | write_trace t.ltrace
  local steps=()
  for i in $(seq 10 30); do steps+=(packet); done
  probe t.ltrace --packet-rate 100 -- open mark "${steps[@]}" elapsed-min 199 ||
    fail "probe failed"
  # 21 packets at 100 a second: the last is due 200 ms after the first.
  [ "$(grep -c '^packet 0 0007' "$WORK/probe.out")" = 21 ] || fail "not every packet arrived"
  expect_grep "$WORK/probe.out" "^packet 0 000730000000$"
  expect_grep "$WORK/probe.out" "^elapsed-min 199 ok$"
}

# classic_packet GROUP TARGET COMMAND PAYLOAD: a classic command packet in
# hex, with its length byte and checksum.
classic_packet() {
  local body sum=0 i
  body=$2$3$(printf '%02x' $((${#4} / 2)))$4
  for ((i = 0; i < ${#body}; i += 2)); do sum=$((sum + 16#${body:i:2})); done
  printf '55%s%s%02x\n' "$1" "$body" $((sum % 256))
}

case_classic_blocks_through_the_node() {
  local b1 b2 w zeros31 calib
  b1=$(printf '%02x' $(seq 1 32))
  b2=$(printf '%02x' $(seq 101 132))
  w=$(printf '%02x' $(seq 201 232))
  calib=$(printf '%02x' $(seq 1 186))
  write_trace t.ltrace <<T
classic-units 1
classic-block 0x80 1 $b1
classic-block 0 3 $b2
T
  probe t.ltrace --state-out "$WORK/state.ltrace" -- open classic-open \
    classic-cmd 551e80ae002e classic-read 64 \
    classic-cmd 551e80b2040000010037 classic-read 64 \
    classic-cmd "$(classic_packet 1e 00 b2 00000300)" classic-read 64 \
    classic-cmd 553c80b102000033 classic-read 64 \
    classic-cmd "$(classic_packet 2d 80 b2 00000600"$w")" classic-read 64 \
    classic-cmd "$(classic_packet 1e 80 b2 00000600)" classic-read 64 \
    classic-cmd "$(classic_packet 1e 02 b2 00000000)" classic-read 64 \
    classic-cmd 551e80ae002f classic-read 64 classic-read 64 \
    classic-set 240 01 classic-set 244 "$calib" classic-set 243 01 || fail "probe failed"
  # Both nodes are there; replies are 55, status, data length, data, checksum.
  expect_output "$WORK/probe.out" <<T
open 0
classic-open 0
classic-cmd 0
classic-read 64 554b01004c
classic-cmd 0
classic-read 64 554b20${b1}7b
classic-cmd 0
classic-read 64 554b20${b2}fb
classic-cmd 0
classic-read 64 55870087
classic-cmd 0
classic-read 64 55870087
classic-cmd 0
classic-read 64 554b20${w}7b
classic-cmd 0
classic-read 64 55f000f0
classic-cmd 0
classic-read 64 55f000f0
classic-read -1 Connection timed out
classic-set 0
classic-set 0
classic-set 0
T
  expect_grep "$WORK/sim.log" "^classic units 1$"
  expect_grep "$WORK/sim.log" "^classic read 0x80 1$"
  expect_grep "$WORK/sim.log" "^classic write 0x80 6 $w$"
  expect_grep "$WORK/sim.log" "^classic read 2 0 failed$"
  expect_grep "$WORK/sim.log" "^classic bad packet checksum 0x2f, expected 0x2e: 551e80ae002f$"
  expect_grep "$WORK/sim.log" "^ioctl 244 0 $calib$"
  expect_grep "$WORK/state.ltrace" "^classic-units 1$"
  expect_grep "$WORK/state.ltrace" "^classic-block 0x80 6 $w$"
  expect_grep "$WORK/state.ltrace" "^classic-block 0 3 $b2$"

  # The stored blocks are what the next run's controller holds.
  probe state.ltrace -- classic-open classic-cmd "$(classic_packet 1e 80 b2 00000600)" \
    classic-read 64 || fail "second probe failed"
  expect_grep "$WORK/probe.out" "^classic-read 64 554b20${w}7b$"
}

case_classic_events_follow_the_trace() {
  write_trace t.ltrace <<'T'
event 07000a000b0000000000
frame a0
packet 000700000000
wait 4
event 06000a000b0000000000
unplug
wait 200
plug
event 07001400150000000000
T
  probe t.ltrace -- classic-open classic-event classic-event classic-event open classic-open \
    classic-open-wait classic-event classic-event || fail "probe failed"
  # Frames and packets belong to /dev/lumaro; an event due within 10 ms is
  # waited for; the unplug hides both nodes until the plug.
  expect_output "$WORK/probe.out" <<'T'
classic-open 0
classic-event 0 07000a000b0000000000
classic-event 0 06000a000b0000000000
classic-event -1 No such device
open -1 No such file or directory
classic-open -1 No such file or directory
classic-open-wait 0
classic-event 0 07001400150000000000
classic-event -1 Resource temporarily unavailable
T
  expect_output "$WORK/sim.log" <<'T'
ioctl 242 0
ioctl 242 0
unplug
ioctl 242 -1
plug
ioctl 242 0
end of trace
command exited 0
T
}

case_classic_misbehaviour() {
  local data
  data=$(printf '%02x' $(seq 1 32))
  write_trace t.ltrace </dev/null
  probe t.ltrace --state-out "$WORK/state.ltrace" --classic-fail-read 0x80:1 \
    --classic-fail-write-after 1 --classic-short-reply -- classic-open \
    classic-cmd 551e80b2040000010037 classic-read 64 \
    classic-cmd "$(classic_packet 1e 80 b2 00000200)" classic-read 64 \
    classic-cmd "$(classic_packet 2d 80 b2 00000000"$data")" classic-read 64 \
    classic-cmd "$(classic_packet 2d 80 b2 00000100"$data")" classic-read 64 ||
    fail "probe failed"
  # The read of 0x80:1 fails, data replies are one byte short, and the
  # second block write is refused.
  expect_output "$WORK/probe.out" <<T
classic-open 0
classic-cmd 0
classic-read 64 55f000f0
classic-cmd 0
classic-read 64 554b1f$(printf '00%.0s' $(seq 1 31))6a
classic-cmd 0
classic-read 64 55870087
classic-cmd 0
classic-read 64 55f000f0
T
  expect_grep "$WORK/sim.log" "^classic read 0x80 1 failed$"
  expect_grep "$WORK/sim.log" "^classic write 0x80 1 $data failed$"
  expect_grep "$WORK/state.ltrace" "^classic-block 0x80 0 $data$"
  expect_no_grep "$WORK/state.ltrace" "^classic-block 0x80 1 "

  probe t.ltrace --classic-garbage-reply -- classic-open classic-cmd 551e80ae002e \
    classic-read 64 || fail "probe failed"
  # Sync and status inverted, checksum off by one.
  expect_grep "$WORK/probe.out" "^classic-read 64 aab4004c$"
}

USB_PROBE="${LUMARO_TEST_BIN:-$LUMARO_BIN}/usb-probe"

# usb_walk [SIM OPTIONS]: the USB bus walk under the simulator; the walk in
# usb.out, the command's USB_DEVFS_PATH in usb-path.out.
usb_walk() {
  [ -x "$USB_PROBE" ] || {
    echo "SKIP: usb-probe was not built (libusb-dev is missing)" >&2
    exit 77
  }
  write_trace t.ltrace </dev/null
  timeout 60 "$SIM" --linger 0 --log "$WORK/sim.log" "$@" "$WORK/t.ltrace" -- \
    sh -c 'echo "$USB_DEVFS_PATH" >"$1" && exec "$2"' sh "$WORK/usb-path.out" "$USB_PROBE" \
    >"$WORK/usb.out" 2>"$WORK/sim-stderr.log" || fail "the walk failed"
}

case_usb_bus_lists_the_controller() {
  usb_walk
  expect_output "$WORK/usb.out" <<'T'
bus 001
001/002 5a3e:0c20
T
  local dir
  dir=$(cat "$WORK/usb-path.out")
  [ -n "$dir" ] || fail "USB_DEVFS_PATH was not set"
  [ ! -e "$dir" ] || fail "the bus directory $dir was left behind"
}

case_no_usb_lists_no_device() {
  usb_walk --no-usb
  # The bus is there (so libusb does not fall back to the machine's own
  # /dev/bus/usb) but holds no device.
  expect_output "$WORK/usb.out" <<'T'
bus 001
T
}

run_case "$@"
