# Pieces shared by the scripts that build a pristine Debian 12 root with
# mmdebstrap from this machine's apt sources (scripts/clean-room,
# scripts/boot-test). Sourced, not run; needs root.

# ensure_mmdebstrap: installs mmdebstrap from the host's apt sources when
# it is missing.
ensure_mmdebstrap() {
  command -v mmdebstrap >/dev/null && return 0
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
}

# make_debian_root ROOT PACKAGES [OPTION...]: a Debian 12 root in the empty
# directory ROOT with the apt variant and the comma-separated PACKAGES;
# further mmdebstrap options follow. The host's apt
# sources and configuration are the only package registry it reaches; the
# host's downloaded packages are linked into the root's apt cache, so that
# nothing is fetched twice (they are not installed).
make_debian_root() {
  local root=$1 packages=$2 file
  shift 2
  local sources=() aptopts=()
  [ -s /etc/apt/sources.list ] && sources+=(/etc/apt/sources.list)
  for file in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$file" ] && sources+=("$file")
  done
  [ ${#sources[@]} -gt 0 ] || { echo "the host has no apt sources" >&2; return 1; }
  for file in /etc/apt/apt.conf.d/*; do
    [ -f "$file" ] && aptopts+=("--aptopt=$file")
  done
  mmdebstrap --variant=apt --include="$packages" --skip=essential/unlink --skip=cleanup/apt/cache \
    "${aptopts[@]}" "$@" \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
    --setup-hook='cp -l /var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" 2>/dev/null ||
      cp /var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" 2>/dev/null || true' \
    --customize-hook='for dir in trusted.gpg.d keyrings preferences.d; do
      [ -d "/etc/apt/$dir" ] && cp -a "/etc/apt/$dir/." "$1/etc/apt/$dir/"; done; true' \
    bookworm "$root" "${sources[@]}"
}

# mounts_below DIR: the mount points at or below DIR, deepest first.
mounts_below() {
  findmnt -rn -o TARGET | awk -v dir="$1" '$0 == dir || index($0, dir "/") == 1' | sort -r
}

# unmount_below DIR: unmounts everything at or below DIR (lazily where a
# mount is busy).
unmount_below() {
  local target
  for target in $(mounts_below "$1"); do
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done
}
