# Hopster's entry points. Each target installs what it needs first
# (scripts/bootstrap.sh is quick when everything is in place).
.PHONY: all bootstrap bootstrap-arm64 build run test install package arm64 arm64-test arm64-core-test arm64-root-check asan bench torture fuzz fuzz-smoke fuzz-merge format format-check house-check qmllint clean

JOBS ?= $(shell nproc)
RUN_ARGS ?=

all: build

bootstrap:
	@scripts/bootstrap.sh

build/default/build.ninja: CMakeLists.txt CMakePresets.json | bootstrap
	cmake --preset default >/dev/null

build: bootstrap build/default/build.ninja
	cmake --build --preset default -j $(JOBS)

# Builds and starts the program.
run: build
	./build/default/src/app/hopster $(RUN_ARGS)

# Builds and runs every test.
test: build
	ctest --preset default

# Installs the program and its desktop files under PREFIX (default
# /usr/local); DESTDIR=/some/root stages the install there instead.
PREFIX ?= /usr/local
install: bootstrap build/default/build.ninja
	cmake --build --preset default -j $(JOBS) --target hopster
	DESTDIR="$(DESTDIR)" cmake --install build/default --prefix "$(PREFIX)"

# A Debian package of a release build: build/release/hopster_<version>_<arch>.deb.
# Optimised at -O2, as Debian builds its packages (GCC 12 at -O3 warns falsely
# inside std::string, and warnings are errors).
# ARCH=arm64 cross-builds it for 64-bit ARM: build/arm64-release/hopster_<version>_arm64.deb.
ARCH ?=
ifeq ($(ARCH),arm64)
package: bootstrap-arm64
	cmake --preset arm64-release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
	cmake --build --preset arm64-release -j $(JOBS) --target hopster
	cd build/arm64-release && cpack -G DEB
else ifeq ($(filter-out $(shell dpkg --print-architecture 2>/dev/null),$(ARCH)),)
package: bootstrap
	cmake --preset release -DHOPSTER_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
	cmake --build --preset release -j $(JOBS) --target hopster
	cd build/release && cpack -G DEB
else
package:
	@echo "make package: ARCH is this machine's architecture (the default) or arm64, not $(ARCH)"; exit 1
endif

# The arm64 (aarch64) cross build: the program, its tests and its QML module
# in build/arm64, built with Debian's aarch64 cross compiler against the arm64
# libraries (installed beside the native ones by `scripts/bootstrap.sh arm64`).
bootstrap-arm64:
	@scripts/bootstrap.sh arm64

build/arm64/build.ninja: CMakeLists.txt CMakePresets.json cmake/aarch64-linux-gnu.cmake | bootstrap-arm64
	cmake --preset arm64 >/dev/null

arm64: bootstrap-arm64 build/arm64/build.ninja
	cmake --build --preset arm64 -j $(JOBS)

# The arm64 test suite under qemu-user. ARM64_TEST_ARGS narrows it, for
# example ARM64_TEST_ARGS="-L unit".
ARM64_TEST_ARGS ?=
arm64-test: arm64
	ctest --preset arm64 $(ARM64_TEST_ARGS)

# CI's arm64 stage: the core libraries' unit tests (platform, motion, records,
# trophies, recording, the motion sources, analysis), cross-built and run
# under qemu-user. The whole suite (make arm64-test) takes too long for CI.
ARM64_CORE := platform records trophies recording motion_sources analysis
arm64-core-test: bootstrap-arm64 build/arm64/build.ninja
	cmake --build --preset arm64 -j $(JOBS) --target $(addsuffix _tests,$(ARM64_CORE)) trace_scan_plain_tests
	ctest --preset arm64 -L unit -R '^($(shell echo $(ARM64_CORE) | tr ' ' '|'))/'

# Installs the arm64 package into an arm64 Debian 12 root under build/ (made
# with debootstrap, run under qemu) and runs the program there.
arm64-root-check:
	$(MAKE) package ARCH=arm64
	scripts/arm64-root-check.sh

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: bootstrap
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# Google Benchmark programs, built with optimisation.
bench: build
	cmake --build --preset default -j $(JOBS) --target benchmarks
	@for b in build/default/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

# The reliability campaign against the real program (about 15 minutes): kill
# -9 during saves and recordings, concurrent writers, quitting by signal and
# by closing the window under Xvfb. TORTURE_ARGS shortens it, for example
# TORTURE_ARGS="--saves 100 --recordings 20 --writers 10 --signals 2".
TORTURE_ARGS ?=
torture: build
	cmake --build --preset default --target save_loop
	xvfb-run -a -s "-screen 0 800x1000x24" /usr/bin/python3 tests/torture/campaign.py build/default $(TORTURE_ARGS)

# The fuzz targets: fuzz/fuzz_<name>.cpp, each with its seed corpus in
# fuzz/corpus/<name>, which `make test` replays.
FUZZ_TARGETS := decoders settings motion_lines push_message
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 65536

# Builds the fuzz programs with clang (only what they link: the records,
# reminders and motion sources), then fuzzes each target for FUZZ_SECONDS
# (default 60).
# New inputs collect in build/fuzz-corpus/<name>; a crash, broken invariant,
# leak or hang is written to build/fuzz-findings/<name>-{crash,leak,timeout}-*
# and fails the run once every target has had its turn. Replay one with
# build/fuzz/fuzz/fuzz_<name> FILE; once fixed, copy it into fuzz/corpus/<name>.
fuzz: bootstrap
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@mkdir -p build/fuzz-findings; failed=""; \
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz-corpus/$$t; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  build/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	    -timeout=10 -print_final_stats=1 -artifact_prefix=build/fuzz-findings/$$t- \
	    build/fuzz-corpus/$$t fuzz/corpus/$$t || failed="$$failed $$t"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: findings in:$$failed (see build/fuzz-findings)"; exit 1; fi

# Every fuzz target for 30 s: CI's check that fuzzing still builds and runs.
fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=30

# After `make fuzz`: folds the inputs that reach new code from
# build/fuzz-corpus/<name> into the committed fuzz/corpus/<name>, adding about
# the fewest that cover what they add. A corpus past a few hundred files (the
# corpus test checks) is merged on edges alone: FUZZ_MERGE_FLAGS=-use_counters=0
# FUZZ_TARGETS=<name>.
FUZZ_MERGE_FLAGS ?=
fuzz-merge:
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz-corpus/$$t; \
	  build/fuzz/fuzz/fuzz_$$t -set_cover_merge=1 $(FUZZ_MERGE_FLAGS) -max_len=$(FUZZ_MAX_LEN) \
	    fuzz/corpus/$$t build/fuzz-corpus/$$t || exit 1; \
	done

# qmllint over every QML file of the screens.
qmllint: build
	cmake --build --preset default --target all_qmllint

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The shape of the house: no folder under src/ includes another round a
# circle, and no source file is past 420 lines.
house-check:
	python3 scripts/folder_includes.py
	@long=$$(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.qml' | xargs wc -l | awk '$$2 != "total" && $$1 > 420'); \
	if [ -n "$$long" ]; then echo "Source files past 420 lines:"; echo "$$long"; exit 1; fi; \
	echo "no source file past 420 lines"

clean:
	rm -rf build
