#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Hopster need.
# Idempotent and quick when everything is present: it only asks dpkg which
# packages are missing, and runs apt-get only for those.
set -euo pipefail

packages=(
  # toolchain
  g++ make cmake ninja-build pkg-config clang-format lld
  # libraries
  libsimdjson-dev nlohmann-json3-dev uuid-dev libsystemd-dev libspeechd-dev
  # the phone source: its HTTP server, the phone app's zip exports, the QR code
  libmicrohttpd-dev libzip-dev libqrencode-dev
  # Qt 6 Quick interface: the libraries, the QML modules the screens import,
  # the tools (qmllint, qmltestrunner) and a font for offscreen rendering
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  libqt6svg6 qt6-qpa-plugins libgl-dev fonts-dejavu-core
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtquick
  qml6-module-qtquick-controls qml6-module-qtquick-layouts qml6-module-qtquick-shapes
  qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qt5compat-graphicaleffects qml6-module-qttest
  # tests, benchmarks and fuzzing; a private session bus with a stand-in
  # desktop notification service for the reminder tests
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  dbus-daemon python3-dbusmock
  # llvm-14 brings llvm-symbolizer, without which a fuzzer's finding shows
  # its stack as bare addresses
  clang libclang-rt-14-dev llvm-14
  # the reliability campaign (make torture) and the screenshots: a real window
  # under Xvfb with Mesa's software OpenGL, closed as a window manager would
  xvfb xauth xdotool python3-xlib libgl1-mesa-dri
  # the screen reader's view of the window: the accessibility bus and its
  # Python client
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  # systemd-analyze checks the reminder timer units it writes
  systemd
  # make install / make package and their checks: the desktop entry and
  # metainfo validators, the manual page renderer, the .deb tools (CPack
  # finds the programs with file, their libraries with dpkg-shlibdeps)
  desktop-file-utils appstream man-db groff-base dpkg-dev file
)

# `scripts/bootstrap.sh arm64` adds what the arm64 cross build, its tests
# under emulation and its package need: Debian's aarch64 cross compiler, the
# arm64 builds of the libraries above (multiarch), qemu to run aarch64
# programs and debootstrap for an arm64 root. Header-only libraries, the
# tools (Qt's moc, rcc, qmlcachegen are Multi-Arch: foreign, the native ones
# serve) and the helpers tests start (python3, dbus-daemon) stay native.
# libsimdjson-dev cannot sit beside the native one (it has no Multi-Arch
# field), so only its arm64 shared object comes: the headers are the same.
arm64=0
case "${1:-}" in
  "") ;;
  arm64) arm64=1 ;;
  *) echo "usage: $0 [arm64]" >&2; exit 2 ;;
esac
if [ $arm64 -eq 1 ]; then
  packages+=(
    g++-aarch64-linux-gnu qemu-user qemu-user-static binfmt-support debootstrap
    libsimdjson14:arm64 uuid-dev:arm64 libsystemd-dev:arm64 libspeechd-dev:arm64
    libmicrohttpd-dev:arm64 libzip-dev:arm64 libqrencode-dev:arm64
    qt6-base-dev:arm64 qt6-declarative-dev:arm64 qt6-svg-dev:arm64 libqt6svg6:arm64
    qt6-qpa-plugins:arm64 libgl-dev:arm64
    qml6-module-qtqml:arm64 qml6-module-qtqml-workerscript:arm64 qml6-module-qtquick:arm64
    qml6-module-qtquick-controls:arm64 qml6-module-qtquick-layouts:arm64
    qml6-module-qtquick-shapes:arm64 qml6-module-qtquick-templates:arm64
    qml6-module-qtquick-window:arm64 qml6-module-qt5compat-graphicaleffects:arm64
    qml6-module-qttest:arm64 libgl1-mesa-dri:arm64
    libgtest-dev:arm64 libgmock-dev:arm64
  )
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# The tests that start the program under test as a child process run an
# aarch64 program directly: the kernel hands it to qemu through binfmt_misc,
# whose aarch64 entry qemu-user-static's package registers.
arm64_binfmt() {
  [ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] && return 0
  [ -e /proc/sys/fs/binfmt_misc/status ] ||
    $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
    { echo "bootstrap: binfmt_misc cannot be mounted: aarch64 programs only run under qemu-aarch64 named" >&2; return 0; }
  $sudo update-binfmts --enable qemu-aarch64 ||
    echo "bootstrap: binfmt_misc has no aarch64 entry: aarch64 programs only run under qemu-aarch64 named" >&2
}

# One dpkg-query for all of them. Multi-Arch: same packages are named with
# their architecture (libc6:amd64), the others without.
installed=$(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
              awk '$2 == "installed" { print $1 }' || true)
native=$(dpkg --print-architecture)
missing=()
for p in "${packages[@]}"; do
  if ! grep -qxF -e "$p" -e "$p:$native" <<<"$installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ $arm64 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ $arm64 -eq 1 ]; then arm64_binfmt; fi
exit 0
