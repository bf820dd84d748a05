# What a test needs from the host. A test that cannot run its cases does not
# pass: a casual build marks it skipped (status 77, which CTest reports as
# such); scripts/test sets LUMARO_REQUIRE_HOST_TOOLS=1, and there it fails.

# cannot_run REASON: ends the test as skipped, or failed when required.
cannot_run() {
  if [ "${LUMARO_REQUIRE_HOST_TOOLS:-}" = 1 ]; then
    echo "FAIL: cannot run: $1" >&2
    exit 1
  fi
  echo "SKIP: cannot run: $1" >&2
  exit 77
}

# missing_host_piece WHAT PACKAGE: the test cannot run without WHAT, which
# PACKAGE provides.
missing_host_piece() {
  cannot_run "missing from this machine: $1 (package $2; scripts/install-deps installs it)"
}

# need PROGRAM:PACKAGE...: the test cannot run without each PROGRAM.
need() {
  local tool
  for tool in "$@"; do
    command -v "${tool%%:*}" >/dev/null || missing_host_piece "${tool%%:*}" "${tool#*:}"
  done
}

# have_umockdev: umockdev's preload library is installed.
have_umockdev() {
  [ -e /usr/lib/x86_64-linux-gnu/libumockdev-preload.so.0 ] ||
    ldconfig -p | grep libumockdev-preload.so.0 >/dev/null
}
