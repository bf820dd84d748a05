#!/usr/bin/env bash
# Every tool of ours against bad input: one table of cases, each with the exit
# status it must give and a piece of its first line on standard error (or, for
# --help and --version, standard output).
#   cli_e2e.sh table       runs the table; LUMARO_BIN names the programs
set -uo pipefail
source "$(dirname "$0")/host.sh"
BIN=${LUMARO_BIN:?}
SCENES=${LUMARO_SCENES:-}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
printf 'lumaro-trace 1\n' >ok.ltrace
printf 'lumaro-trace 1\nframe a0 00\n' >bad.ltrace
: >empty
mkdir dir
printf 'report 0001ff3f2944010000000000\n' >reports
[ -n "$SCENES" ] && cp "$SCENES"/{tap,dirty-lens,calibrated}.ltrace .
printf 'lumaro-scene 1\nscans 4\nfinger 0.008\nkey 0 0.5 0.4\nkey 3 0.5 0.4\n' >s.lscene

# Reading an input, --help, --version and the option parser's mistakes are
# the shared cli code's: tried through one or two programs, not every one.
# program | case | arguments (run by bash) | expected status | expected text
CASES=$(cat <<'T'
lumaro-replay|missing file|lumaro-replay nope.ltrace|65|nope.ltrace: No such file or directory
lumaro-replay|directory|lumaro-replay dir|65|dir: Is a directory
lumaro-replay|empty file|lumaro-replay empty|65|empty:
lumaro-replay|full disk|lumaro-replay tap.ltrace >/dev/full|1|No space left on device
lumaro-replay|unknown option|lumaro-replay --bogus ok.ltrace|64|unknown option --bogus
lumaro-replay|missing value|lumaro-replay|64|no input given
lumaro-replay|--help|lumaro-replay --help|0|usage: lumaro-replay
lumaro-replay|--version|lumaro-replay --version|0|lumaro-replay 
lumaro-replay|standard input|lumaro-replay - <ok.ltrace|0|
lumaro-replay|malformed trace|lumaro-replay bad.ltrace|65|bad.ltrace: line 2: 'frame' takes 1 field
lumaro-replay|a report listing decoded|lumaro-replay --decode --reports reports|0|slot 0 down 1 x 16383 y 17449
lumaro-doctor|no arguments|lumaro-doctor|64|
lumaro-doctor|malformed trace|lumaro-doctor bad.ltrace|65|bad.ltrace: line 2: 'frame' takes 1 field
lumaro-doctor|standard input|lumaro-doctor - <tap.ltrace|1|warn  calibration
lumaro-doctor|a failing trace, as JSON|lumaro-doctor --json dirty-lens.ltrace|2|"samples":[560,576]
lumaro-doctor|a healthy trace|lumaro-doctor calibrated.ltrace|0|ok    calibration
lumaro-doctor|picture on a full disk|lumaro-doctor --png /dev/full tap.ltrace|3|/dev/full: No space left on device
lumaro-doctor|unwritable picture, nothing analysed|lumaro-doctor --png dir/no/x.png tap.ltrace|3|dir/no/x.png: No such file or directory
lumaro-doctor|no device|lumaro-doctor --monitor nope --live 1|3|cannot open /dev/lumaro
lumaro-doctor|history without a daemon|lumaro-doctor --monitor nope --last 5|3|no daemon keeps a history
lumaro-doctor|zero seconds|lumaro-doctor --live 0|64|--live takes a number of seconds from 1 to 86400
lumaro-doctor|two sources|lumaro-doctor --live 1 --last 1|64|give a TRACE, --live SECONDS or --last SECONDS
lumaro-doctor|unwritable metrics, nothing analysed|lumaro-doctor --prometheus dir/no/m.prom tap.ltrace|3|dir/no/m.prom: No such file or directory
lumaro-doctor|unwritable save, nothing recorded|lumaro-sim --linger 0 --log /dev/null tap.ltrace -- lumaro-doctor --live 1 --save dir/no/t.ltrace|3|dir/no/t.ltrace: No such file or directory
lumaro-doctor|flag given a value|lumaro-doctor --json=1 tap.ltrace|64|--json takes no value
lumaro-doctor|--help|lumaro-doctor --help|0|3 the doctor failed
lumaro-record|full disk (simulated device)|lumaro-sim --linger 0 --log /dev/null tap.ltrace -- lumaro-record --frames 3 /dev/full|1|cannot write the trace: No space left on device
lumaro-record|missing file|lumaro-record --monitor nope --frames 1 out|1|cannot open /dev/lumaro: ENOENT (No such file or directory)
lumaro-record|directory|lumaro-record --frames 1 dir|1|dir: Is a directory
lumaro-record|no device, full disk|lumaro-record --monitor nope --frames 1 /dev/full|1|cannot open /dev/lumaro
lumaro-monitor|no device|lumaro-monitor --monitor nope|1|cannot open /dev/lumaro: ENOENT (No such file or directory)
lumaro-monitor|screen without a height|lumaro-monitor --screen 1920|64|--screen takes WIDTHxHEIGHT
lumaro-plot|empty file|lumaro-plot ok.ltrace empty --stats|65|empty: no report lines
lumaro-plot|swapped arguments|lumaro-plot reports ok.ltrace --stats|65|reports: not a trace
lumaro-plot|full disk|lumaro-plot ok.ltrace reports --stats >/dev/full|1|No space left on device
lumaro-plot|picture on a full disk|lumaro-plot ok.ltrace reports -o /dev/full|1|No space left on device
lumaro-plot|standard input|lumaro-plot ok.ltrace - --stats <reports|0|
lumaro-scene|full disk|lumaro-scene s.lscene >/dev/full|1|No space left on device
lumaro-scene|missing value|lumaro-scene|64|no scene given
lumaro-sim|malformed trace, command not run|lumaro-sim bad.ltrace -- false|65|bad.ltrace: line 2: 'frame' takes 1 field, found 2
lumaro-sim|the command's status|lumaro-sim --linger 0 --log /dev/null ok.ltrace -- sh -c 'exit 3'|3|
lumaro-sim|command ended by the simulator|lumaro-sim --log /dev/null ok.ltrace -- sh -c 'kill $PPID; exec sleep 30'|143|
lumaro-sim|command failing as it ends|lumaro-sim --log /dev/null ok.ltrace -- sh -c 'trap "exit 5" TERM; kill $PPID; sleep 5 & wait'|5|
lumaro-sim|full disk|lumaro-sim --state-out /dev/full ok.ltrace -- true|1|No space left on device
lumaro-sim|missing value|lumaro-sim ok.ltrace --rate|64|--rate needs a value
lumaro-sim|no command|lumaro-sim ok.ltrace|64|
lumaro-sim|empty command|lumaro-sim ok.ltrace --|64|
lumaro-sim|no trace|lumaro-sim -- true|64|
lumaro-sim|two traces|lumaro-sim ok.ltrace ok.ltrace -- true|64|
lumaro-sim|zero rate|lumaro-sim --rate 0 ok.ltrace -- true|64|
lumaro-sim|rate not a number|lumaro-sim --rate fast ok.ltrace -- true|64|
lumaro-sim|negative linger|lumaro-sim --linger -1 ok.ltrace -- true|64|
lumaro-sim|zero packet rate|lumaro-sim --packet-rate 0 ok.ltrace -- true|64|
lumaro-sim|read failure past the record|lumaro-sim --classic-fail-read 0x80:32 ok.ltrace -- true|64|
lumaro-sim|read failure of unit 4|lumaro-sim --classic-fail-read 4:0 ok.ltrace -- true|64|
lumaro-sim|read failure past a unit|lumaro-sim --classic-fail-read 1:4 ok.ltrace -- true|64|
lumaro-sim|read failure without a block|lumaro-sim --classic-fail-read 0x80 ok.ltrace -- true|64|
lumaro-sim|read failure of block -1|lumaro-sim --classic-fail-read 0x80:-1 ok.ltrace -- true|64|
lumaro-sim|refusals from write 0|lumaro-sim --classic-refuse-writes 0:4 ok.ltrace -- true|64|--classic-refuse-writes takes FROM:COUNT, FROM from 1
lumaro-sim|negative write count|lumaro-sim --classic-fail-write-after -1 ok.ltrace -- true|64|
lumaro-sim|every misbehaviour|lumaro-sim --linger=0 --log /dev/null --no-usb --packet-rate 50 --classic-fail-read=0x80:31 --classic-fail-read 3:3 --classic-fail-write-after 0 --classic-refuse-writes 9:4 --classic-short-reply --classic-garbage-reply ok.ltrace -- true|0|
lumaro-sim|--help|lumaro-sim --help|0|usage: lumaro-sim
lumaro-sim|--version|lumaro-sim --version|0|lumaro-sim 
tapalign|verify at a tolerance|tapalign --verify --monitor nope --tolerance 5|1|cannot read the daemon's monitor stream nope: No such file or directory (is lumarod running?)
tapalign-classic|verify without a daemon|tapalign-classic --verify --monitor nope|1|cannot read the daemon's monitor stream nope: No such file or directory (is lumarod running?)
tapalign|verify at no tolerance|tapalign --verify --tolerance x|1|usage: tapalign --verify
lumarod|--help|lumarod --help|0|usage: lumarod
lumarod|--version|lumarod --version|0|lumarod 
T
)

# run_case ARGS: its status, its first line of standard error (else of
# standard output) other than progress, and all it printed in ALL.
run_case() {
  local status=0
  (cd "$WORK" && PATH="$BIN:$PATH" timeout 20 bash -c "$1" >"$WORK/o" 2>"$WORK/e") || status=$?
  STATUS=$status
  LINE=$(grep -v '^recording:' "$WORK/e" | head -n 1)
  [ -n "$LINE" ] || LINE=$(head -n 1 "$WORK/o")
  ALL=$(cat "$WORK/e" "$WORK/o")
}

# Cases that run a command under the simulator need umockdev's preload library.
needs_umockdev() { [[ $1 == *"-- "* ]]; }

case ${1:-} in
  table)
    failed=0 unrun=0
    have_umockdev && umockdev=1 || umockdev=0
    while IFS='|' read -r program name args status text; do
      if needs_umockdev "$args" && [ "$umockdev" = 0 ]; then
        unrun=$((unrun + 1))
        continue
      fi
      run_case "$args"
      if [ "$STATUS" != "$status" ] || [[ $ALL != *"$text"* ]]; then
        echo "FAIL  $program $name: status $STATUS, '$LINE' (expected $status, '$text')"
        failed=1
      fi
    done <<<"$CASES"
    [ -f "$WORK/out" ] && { echo "FAIL  lumaro-record left an output"; failed=1; }
    # An existing OUT survives a failed open and a full disk.
    echo old >keep
    run_case "lumaro-record --monitor nope --frames 1 keep"
    [ "$(cat keep)" = old ] || { echo "FAIL  lumaro-record touched an existing OUT"; failed=1; }
    [ -z "$(ls -A | grep -E '^keep\.')" ] || { echo "FAIL  a temporary file was left"; failed=1; }
    [ "$failed" = 1 ] || [ "$unrun" = 0 ] ||
      missing_host_piece "umockdev's preload library, for $unrun cases" umockdev
    exit $failed
    ;;
  *) echo "usage: $0 table" >&2; exit 64 ;;
esac
