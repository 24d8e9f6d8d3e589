# Thin wrapper over CMake. `make test` and `make demo` work on a fresh machine.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-release test-asan demo bench fuzz fuzz-ci clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DVELDRIN_WERROR=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVELDRIN_SANITIZE=ON -DVELDRIN_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=disabled: \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Every test, in a normal build and under the sanitizers, then a bounded run of each fuzzer.
test: test-release test-asan fuzz-ci

# Builds only the program the demo runs.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target veldrin-grid
	@scripts/demo $(BUILD)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELDRIN_BENCH=ON -DVELDRIN_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	@scripts/bench build-bench

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELDRIN_FUZZ=ON -DVELDRIN_TESTS=OFF -DVELDRIN_GUI=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_load_save fuzz_rle8 fuzz_rle4
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-ci:
	@if [ -d fuzz ]; then $(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SECONDS); fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-bench
