#!/usr/bin/env bash
# The Debian packages on a pristine system, as an integrator meets them:
# installed with apt from the archive, tried, and purged without a trace.
# Run as root in a throwaway root (the clean room), never on a machine whose
# packages matter: it installs and purges system packages.
#
#   install_test.sh [DIR]    DIR holds lumaro_*.deb and lumaro-devtools_*.deb
#                            (default: build/ of this checkout)
set -euo pipefail
DIR=$(realpath "${1:-$(dirname "$0")/../../build}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/lumaro-install.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }
UNIT=/usr/lib/systemd/system/lumarod.service
RULE=/usr/lib/udev/rules.d/60-lumaro.rules
SYSUSERS=/usr/lib/sysusers.d/lumaro.conf

[ "$(id -u)" = 0 ] || fail "needs root (and a throwaway system)"
shopt -s nullglob
debs=("$DIR"/lumaro_*.deb "$DIR"/lumaro-devtools_*.deb)
[ ${#debs[@]} = 2 ] || fail "expected one lumaro and one lumaro-devtools package in $DIR"
for package in lumaro lumaro-devtools; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep installed >/dev/null; then
    fail "$package is installed already: not a pristine system"
  fi
done
[ -e /dev/ptmx ] || fail "no /dev/ptmx: the simulator needs terminals (mount devpts)"

step "install ${debs[*]##*/}"
cp "${debs[@]}" "$WORK/"
# Every dependency from the archive.
(cd "$WORK" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  ./lumaro_*.deb ./lumaro-devtools_*.deb) >"$WORK/install.log" 2>&1 ||
  { tail -n 30 "$WORK/install.log"; fail "apt-get install"; }
dpkg -L lumaro lumaro-devtools | sort -u >"$WORK/files"

step "the group, the unit, the udev rule and the group declaration where systemd finds them"
getent group lumaro >/dev/null || fail "no group lumaro after installation"
for file in "$UNIT" "$RULE" "$SYSUSERS"; do
  grep -qxF "$file" "$WORK/files" || fail "the packages do not install $file"
done
systemd-analyze unit-paths | grep -xF "$(dirname "$UNIT")" >/dev/null ||
  fail "systemd looks for no unit in $(dirname "$UNIT")"
systemd-analyze cat-config sysusers.d/lumaro.conf | grep '^g lumaro' >/dev/null ||
  fail "systemd-sysusers does not read $SYSUSERS"
systemd-analyze cat-config udev/rules.d/60-lumaro.rules | grep 'GROUP="lumaro"' >/dev/null ||
  fail "udev does not read $RULE"
systemd-analyze verify --man=no "$UNIT" 2>"$WORK/verify.log" || { cat "$WORK/verify.log"; fail "systemd-analyze verify"; }

step "the installed daemon under the installed simulator, as a user with only the group lumaro"
log="$WORK/sim.log"
# The daemon runs until it is stopped: 143 is the simulator's SIGTERM at the
# end of the trace.
timeout 120 /usr/libexec/lumaro/lumaro-sim --linger 0.3 --log "$log" --node-group lumaro \
  /usr/share/lumaro/scenes/tap.ltrace -- \
  setpriv --reuid=nobody --regid=nogroup --groups=lumaro --inh-caps=-all /usr/sbin/lumarod \
  >"$WORK/daemon.out" 2>&1 || [ $? = $((128 + 15)) ] || { cat "$WORK/daemon.out"; fail "lumaro-sim"; }
grep -q '^open touch success$' "$WORK/daemon.out" || { cat "$WORK/daemon.out"; fail "lumarod did not open the node"; }
reports=$(grep -c '^report ' "$log" || true)
[ "$reports" -gt 0 ] || { cat "$log"; fail "no reports"; }
echo "$reports reports"

step "purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq lumaro lumaro-devtools >"$WORK/purge.log" 2>&1 ||
  { cat "$WORK/purge.log"; fail "apt-get purge"; }
left=0
while IFS= read -r file; do
  # Directories the packages shared with the system stay.
  if [ -e "$file" ] && [ ! -d "$file" ]; then echo "left behind: $file" >&2; left=1; fi
done <"$WORK/files"
for dir in /usr/share/lumaro /usr/libexec/lumaro /usr/share/doc/lumaro /usr/share/doc/lumaro-devtools; do
  if [ -e "$dir" ]; then echo "left behind: $dir" >&2; left=1; fi
done
if find /etc/systemd /var/lib/systemd -name '*lumarod*' 2>/dev/null | grep .; then
  echo "unit links or state left behind" >&2
  left=1
fi
[ "$left" = 0 ] || fail "the purge left files behind"
# A system group stays after a purge, as Debian's packages leave theirs: files
# may still carry it.
getent group lumaro >/dev/null || fail "the purge removed the group lumaro"
echo "PASS: install, run, purge"
