#!/usr/bin/env bash
# make_soak_trace.sh SCENES_DIR FRAMES CYCLES STALL_MS > TRACE
# A long trace for the soak test: the camera controller of the rendered
# scenes, their frames over and over, and in each of CYCLES cycles every
# kind of fault: malformed frames (length bytes 0, 1, 61, 255, half index 2,
# type 2, a second half without a first, a cut-off frame), a read error that
# ends the session or one that is read past (EINTR, EIO, 0 bytes, time-outs),
# a request that fails during the next identification, a re-identification,
# and an unplug with its replug. One stall of STALL_MS in the middle.
set -euo pipefail
scenes=$1 frames=$2 cycles=$3 stall=$4
{
  # The controller's identity and blocks, from one scene.
  grep -E '^(lumaro-trace|product|block) ' "$scenes/two-crossing.ltrace"
  # All the scenes' frames, in one stream that is played round and round.
  for s in circle two-crossing pinch two-apart slow-drag fast-swipe tap; do
    grep '^frame ' "$scenes/$s.ltrace"
  done | awk -v frames="$frames" -v cycles="$cycles" -v stall="$stall" '
    { pool[n++] = $0 }
    END {
      per = int(frames / cycles)
      split("readerr 4|readzero|readerr 5|readerr 110|readerr 62", ends, "|")
      split("195|196|206|240|241|242|201|202", codes, "|")
      for (c = 0; c < cycles; c++) {
        for (i = 0; i < per; i++) print pool[(c * per + i) % n]
        # Malformed frames: length 0, 1, 61, 255; half 2; type 2; a second
        # half without a first; a frame cut short.
        print "frame 00000100001f"
        print "frame 0000010100"
        print "frame 00000161000102030405060708090a0b0c0d0e0f"
        print "frame 000001ff00fe"
        print "frame 0000010402010203"
        print "frame 0000020400010203"
        print "frame 0000010401010203"
        print "frame 000001"
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
