#!/usr/bin/env bash
# The system calls the daemon makes over a whole session, checked against
# the unit's own SystemCallFilter= lines: identification, frames,
# re-identification, an unplug ridden through, monitor readers, a socket
# passed as systemd passes it, and the readiness notification. A call the
# filter would answer with SIGSYS fails here, named with its group, before
# a kiosk meets it. Prints every call the daemon made, with its groups.
source "$(dirname "$0")/lib.sh"
UNIT="$(dirname "$0")/../../packaging/lumarod.service.in"

need strace:strace systemd-analyze:systemd systemd-socket-activate:systemd

# The members of every group, one "@group member" a line; a member may be a
# group itself.
systemd-analyze syscall-filter --no-pager 2>/dev/null |
  awk '/^@/ { group = $1; next } NF == 1 && $1 !~ /^#/ { print group, $1 }' | sort -u >"$WORK/groups.txt"
[ -s "$WORK/groups.txt" ] || fail "systemd-analyze syscall-filter listed no groups"

# expand ITEM...: the calls that the items name, groups resolved through
# their nested groups.
expand() {
  local item
  for item in "$@"; do
    case $item in
      # shellcheck disable=SC2046
      @*) expand $(awk -v g="$item" '$1 == g { print $2 }' "$WORK/groups.txt") ;;
      *) echo "$item" ;;
    esac
  done
}
# What the unit's lines allow: the first (an allow list) and then each
# deny list (~) taken away, in order, as systemd applies them.
: >"$WORK/allowed.txt"
while IFS= read -r line; do
  value=${line#SystemCallFilter=}
  if [[ $value == "~"* ]]; then
    # shellcheck disable=SC2086
    comm -23 "$WORK/allowed.txt" <(expand ${value#\~} | sort -u) >"$WORK/left.txt"
    mv "$WORK/left.txt" "$WORK/allowed.txt"
  else
    # shellcheck disable=SC2086
    sort -u -o "$WORK/allowed.txt" "$WORK/allowed.txt" <(expand $value)
  fi
done < <(grep '^SystemCallFilter=' "$UNIT")
[ -s "$WORK/allowed.txt" ] || fail "the unit allows no call at all: $(grep '^SystemCallFilter=' "$UNIT")"

# The session: identification and frames, a re-identification, an unplug
# ridden through, then a scene's frames. Readers connect first (the first
# connection starts the daemon, as systemd-socket-activate passes the
# socket) and one of them reads the live stream to the end.
{
  cat "$(dirname "$0")/../golden/reidentify.ltrace"
  printf 'unplug\nwait 2500\nplug\n'
  grep '^frame' "$LUMARO_SCENES/tap.ltrace"
} >"$WORK/session.ltrace"
SOCKET="$WORK/monitor"
# The daemon gets the simulator's variables, the socket and a notification
# socket; strace follows it and its thread, one file each.
cat >"$WORK/activate.sh" <<'EOF'
pass=()
for name in $(env | sed -n 's/^\(UMOCKDEV[A-Z_]*\|LD_PRELOAD\)=.*/\1/p'); do pass+=(-E "$name"); done
exec strace -f -ff -k -o "$WORK/calls" systemd-socket-activate "${pass[@]}" \
  -E "NOTIFY_SOCKET=$WORK/notify" -l "$SOCKET" "$@"
EOF
export WORK SOCKET
timeout 180 "$SIM" --linger 1 --log "$WORK/sim.log" "$WORK/session.ltrace" -- \
  bash "$WORK/activate.sh" "$DAEMON" >"$WORK/daemon.out" 2>"$WORK/daemon.log" &
SIM_PID=$!
# The socket's file exists a moment before it listens: wait for a connection
# to succeed, not for the file.
wait_for 30 "the monitor socket" "$MPROBE" "$SOCKET" --cycles 1 2>/dev/null
"$MPROBE" "$SOCKET" live >"$WORK/live.stream" 2>"$WORK/probe.log" &
live=$!
wait_for 30 "the stream's identity" grep -qs "^product" "$WORK/live.stream"
"$MPROBE" "$SOCKET" "last 5" >"$WORK/last.stream" || fail "a second reader failed"
wait "$live" || fail "the live reader failed"
status=0
wait "$SIM_PID" || status=$?
SIM_PID=
# The simulator ends its command at the end of the trace with SIGTERM; strace
# takes that signal itself, and the simulator then kills it.
case $status in 0 | 143 | 137) ;; *) fail "the simulator exited with $status" ;; esac
grep -q '^open touch success' "$WORK/daemon.out" || fail "the daemon never opened the node"
[ "$(grep -c '^ProductID=' "$WORK/daemon.out")" -ge 3 ] || fail "fewer than three identifications"
grep -q '^read error' "$WORK/daemon.out" || fail "no unplug reached the daemon"
grep -q '^report' "$WORK/sim.log" || fail "no reports"

# The daemon's calls: those after it was executed, in the process that
# executed it, and all of its threads'. A call made inside the simulator's
# preload library is the simulator's, but for the device calls it forwards
# (the daemon's one door to the node: open, close, read, write, ioctl and
# access); a request becomes socket traffic there, so ioctl is always one.
first=$(grep -l '^execve("[^"]*lumarod"' "$WORK"/calls.* | head -n1)
[ -n "$first" ] || fail "strace saw no execution of the daemon"
threads=$(awk '/^execve\("[^"]*lumarod"/ { on = 1 } on && /^clone3?\(/ { print $NF }' "$first")
for file in "$first" $(for pid in $threads; do echo "$WORK/calls.$pid"; done); do
  awk -v all="$([ "$file" = "$first" ] && echo 0 || echo 1)" '
    function flush() {
      if (name != "" && (all || started)) {
        if (!preload || name ~ /^(openat|open|close|read|write|ioctl|access|faccessat2?)$/) print name
      }
      name = ""
    }
    /^ > / { if ($0 ~ /libumockdev-preload/) preload = 1; next }
    {
      flush()
      if ($0 ~ /^execve\("[^"]*lumarod"/) { started = 1; next }
      if ($0 ~ /^(\+\+\+|---)/) next
      preload = 0
      name = $0; sub(/\(.*/, "", name)
    }
    END { flush() }' "$file"
done | sort -u >"$WORK/made.txt"
echo ioctl >>"$WORK/made.txt"
sort -u -o "$WORK/made.txt" "$WORK/made.txt"
[ "$(wc -l <"$WORK/made.txt")" -gt 10 ] || fail "strace saw almost nothing: $(cat "$WORK/made.txt")"

# groups_of CALL: the groups that list it directly (not the catch-all ones).
groups_of() {
  awk -v c="$1" '$2 == c && $1 !~ /^@(known|system-service)$/ { printf "%s%s", sep, $1; sep = " " }' \
    "$WORK/groups.txt"
}
refused=()
while IFS= read -r call; do
  groups=$(groups_of "$call")
  if grep -qxF "$call" "$WORK/allowed.txt"; then
    printf '  %-24s %s\n' "$call" "${groups:-(listed by @system-service itself)}"
  else
    printf '  %-24s %s   REFUSED BY THE UNIT\n' "$call" "${groups:-(in no group)}"
    refused+=("$call (${groups:-in no group})")
  fi
done <"$WORK/made.txt"
[ ${#refused[@]} -eq 0 ] ||
  fail "the unit's SystemCallFilter= would kill the daemon with SIGSYS at: ${refused[*]}"
echo "$(wc -l <"$WORK/made.txt") calls, all allowed by the unit's filter;" \
  "$(grep -c '^report' "$WORK/sim.log") reports, $(grep -c '^frame' "$WORK/live.stream") frames streamed"
