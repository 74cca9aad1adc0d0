#!/usr/bin/env bash
# Installs the arm64 package (make package ARCH=arm64) into an arm64 Debian 12
# root and runs it there under qemu-user: --version, a headless recording in
# virtual time and the offscreen smoke test. apt-get inside the root pulls the
# package's Depends, so a missing or wrong dependency shows here.
#
# The root is made with debootstrap from the mirror this machine's apt uses
# and kept in build/arm64-root; the packages debootstrap fetched are kept in
# build/arm64-debootstrap/bookworm-arm64.tgz, so a rerun after
# `rm -rf build/arm64-root` does not download them again. Needs root, and
# binfmt_misc with qemu-user-static's aarch64 entry (set up here if missing).
set -euo pipefail
cd "$(dirname "$0")/.."

root=$PWD/build/arm64-root
cache=$PWD/build/arm64-debootstrap
tarball=$cache/bookworm-arm64.tgz
deb=$(ls build/arm64-release/hopster_*_arm64.deb 2>/dev/null | head -n 1 || true)
[ -n "$deb" ] || { echo "no build/arm64-release/hopster_*_arm64.deb: run make package ARCH=arm64" >&2; exit 1; }

# The Debian mirror this machine's apt uses (the only archive reachable).
mirror=$(grep -hsE '^(URIs:|deb) ' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
           /etc/apt/sources.list.d/*.list | grep -oE 'https?://[^ ]+/debian/?$' | head -n 1 || true)
mirror=${mirror:-http://deb.debian.org/debian}

# aarch64 programs run through binfmt_misc: every program the root starts.
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
  update-binfmts --enable qemu-aarch64
fi

step() { echo "== arm64-root-check: $*"; }

if [ ! -e "$root/.hopster-root-ready" ]; then
  rm -rf "$root"
  mkdir -p "$cache"
  if [ ! -e "$tarball" ]; then
    step "debootstrap --make-tarball from $mirror"
    debootstrap --arch=arm64 --make-tarball="$tarball.part" bookworm "$cache/work" "$mirror"
    mv "$tarball.part" "$tarball"
    rm -rf "$cache/work"
  fi
  step "debootstrap --foreign --unpack-tarball into $root"
  debootstrap --arch=arm64 --foreign --unpack-tarball="$tarball" bookworm "$root" "$mirror"
  step "debootstrap --second-stage (under qemu)"
  chroot "$root" /debootstrap/debootstrap --second-stage
  echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
  touch "$root/.hopster-root-ready"
fi

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" || true; done
}
trap cleanup EXIT
for fs in proc dev dev/pts; do
  if ! mountpoint -q "$root/$fs"; then
    case $fs in
      proc) mount -t proc proc "$root/proc" ;;
      dev) mount --bind /dev "$root/dev" ;;
      dev/pts) mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" ;;
    esac
    mounted+=("$root/$fs")
  fi
done
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() {
  echo "\$ $*"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

step "installing $(basename "$deb") with its Depends"
cp "$deb" "$root/tmp/"
in_root uname -m
in_root dpkg --print-architecture
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")"
in_root dpkg-query -W hopster

step "running hopster"
in_root hopster --version
rm -rf "$root/tmp/hopster-home"
mkdir -p "$root/tmp/hopster-home"
chmod 700 "$root/tmp/hopster-home"
in_root env XDG_DATA_HOME=/tmp/hopster-home/data XDG_CONFIG_HOME=/tmp/hopster-home/config \
  XDG_RUNTIME_DIR=/tmp/hopster-home TZ=UTC hopster --headless --fast --seconds 60 --seed 7
in_root env QT_QPA_PLATFORM=offscreen XDG_DATA_HOME=/tmp/hopster-home/data \
  XDG_CONFIG_HOME=/tmp/hopster-home/config XDG_RUNTIME_DIR=/tmp/hopster-home TZ=UTC \
  hopster --smoke-test
step "passed"
