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

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
