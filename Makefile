# Entry points for people and CI. Every target installs what it needs first.
JOBS ?= $(shell nproc)
NATIVE := build/native
WIN64 := build/win64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps native win64 test test-native test-win64 run bench fuzz clean

all: native win64

deps:
	@if [ "$$(id -u)" = 0 ]; then tools/deps.sh; else sudo tools/deps.sh; fi

$(NATIVE)/CMakeCache.txt:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(WIN64)/CMakeCache.txt:
	cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

native: deps $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)

win64: deps $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) -j $(JOBS)

# Builds both trees and runs every test; ends with one pass/fail line.
test: deps
	@tools/run-tests.sh

test-native: native
	ctest --test-dir $(NATIVE) -j $(JOBS) --output-on-failure

test-win64: win64
	tools/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir $(WIN64) -j $(JOBS) --output-on-failure

# Builds the workbench and starts it under Wine (a desktop window under Xvfb
# when there is no display).
run: win64
	tools/run-workbench.sh

bench: deps $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS) --target sonrix-bench
	$(NATIVE)/bench/sonrix-bench $(BENCH_ARGS)

# Every fuzz target for FUZZ_SECONDS, its corpus kept in $(FUZZ)/corpus.
fuzz: deps
	JOBS=$(JOBS) tools/fuzz-run.sh $(FUZZ_SECONDS) $(FUZZ)/corpus

clean:
	rm -rf build
