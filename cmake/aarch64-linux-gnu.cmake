# Cross-compiling for 64-bit ARM Linux (PinePhone, Librem 5, postmarketOS
# devices) with Debian's aarch64 cross toolchain and the arm64 builds of the
# libraries installed beside the native ones (multiarch):
# `scripts/bootstrap.sh arm64` installs them, the `arm64` presets use this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The build links with lld when it is installed (-fuse-ld=lld); the cross
# compiler looks for ld.lld only beside its own tools, so -B points it at a
# folder holding a link to /usr/bin/ld.lld (which links for any target).
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-B${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu/bin/")
endforeach()

# pkg-config reads the arm64 libraries' .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# Programs the build or its tests run (tests, gtest's discovery) run under
# qemu's user-mode emulation; the arm64 loader and libraries are where
# multiarch puts them, so no sysroot is needed. Programs the tests start
# themselves (the app under test) run through binfmt_misc, which
# qemu-user-static registers.
find_program(HOPSTER_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HOPSTER_QEMU_AARCH64})

# Headers come from /usr/include, libraries and CMake packages from the
# arm64 folders (CMAKE_LIBRARY_ARCHITECTURE picks /usr/lib/aarch64-linux-gnu);
# programs found at configure time (Qt's moc, rcc, qmlcachegen: Multi-Arch
# foreign) are the native ones.

# Qt's host tools: the native installation runs them for the cross build.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# simdjson's development package is native only (no Multi-Arch), but its
# headers are the same on every architecture: an imported target over them
# and the arm64 shared object (libsimdjson14:arm64).
set(simdjson_DIR ${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu/simdjson)
