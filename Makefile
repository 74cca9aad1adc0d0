# Hopster's entry points. Each target installs what it needs first
# (scripts/bootstrap.sh is quick when everything is in place).
.PHONY: all bootstrap build run test asan bench fuzz format format-check qmllint clean

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

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: bootstrap
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# Google Benchmark programs, built with optimisation.
bench: build
	@for b in build/default/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

# Fuzzes the record and trophy decoders for FUZZ_SECONDS (default 60). New
# inputs collect in build/fuzz-corpus; crashes are written to build/ as
# crash-*; copy one into fuzz/corpus/decoders to keep it fixed.
FUZZ_SECONDS ?= 60
fuzz: bootstrap
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target fuzz_decoders -j $(JOBS)
	mkdir -p build/fuzz-corpus
	cd build && ./fuzz/fuzz/fuzz_decoders -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	  -print_final_stats=1 fuzz-corpus ../fuzz/corpus/decoders

# qmllint over every QML file of the screens.
qmllint: build
	cmake --build --preset default --target all_qmllint

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf build
