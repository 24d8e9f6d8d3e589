# Thin wrapper over CMake. `make test` and `make demo` work on a fresh machine.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WIN_BUILD ?= build-win
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
VERSION = $(shell scripts/version)

.PHONY: all deps configure build test test-release test-asan test-windows win-build windows demo \
  bench fuzz fuzz-ci clean package tidy tidy-fix

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

# Windows: a cross build with MinGW-w64, its tests run under Wine. The Wine prefix lives in the
# build folder. The tests run on a virtual X display of their own (the window's tests show it
# there); nothing else gets a display.
WINE_ENV = WINEPREFIX=$(CURDIR)/$(WIN_BUILD)/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
  DISPLAY= WAYLAND_DISPLAY=

win-build: deps
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DVELDRIN_WERROR=ON \
	  -DVELDRIN_LINUX_GRID=$(CURDIR)/$(BUILD)/app/cli/veldrin-grid $(CMAKE_FLAGS)
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The end-to-end test compares with the Linux build's veldrin-grid, hence `build`.
# No window manager runs on the virtual display: with its windows left to one, Wine would wait
# two seconds for it whenever a window is hidden or closed.
test-windows: build win-build
	@test -f $(WIN_BUILD)/wine/system.reg || { echo "creating the Wine prefix"; \
	  $(WINE_ENV) wineboot -i >/dev/null 2>&1; $(WINE_ENV) wineserver -w; }
	@grep -qs '"Managed"="N"' $(WIN_BUILD)/wine/user.reg || { \
	  $(WINE_ENV) wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1; \
	  $(WINE_ENV) wineserver -w; }
	cd $(WIN_BUILD) && $(WINE_ENV) xvfb-run -a -s "-screen 0 1280x1024x24" \
	  $(CURDIR)/scripts/wine-ctest $(JOBS)

# The window, veldrin-grid.exe and the usage text in a zip named after the version, ready to hand
# to a Windows user.
WIN_PACKAGE = veldrin-$(VERSION)-windows
windows: win-build
	rm -rf $(WIN_BUILD)/package && mkdir -p $(WIN_BUILD)/package/$(WIN_PACKAGE)
	x86_64-w64-mingw32-strip -o $(WIN_BUILD)/package/$(WIN_PACKAGE)/veldrin.exe \
	  $(WIN_BUILD)/app/win32/veldrin.exe
	x86_64-w64-mingw32-strip -o $(WIN_BUILD)/package/$(WIN_PACKAGE)/veldrin-grid.exe \
	  $(WIN_BUILD)/app/cli/veldrin-grid.exe
	sed 's/$$/\r/' app/win32/windows-readme.txt > $(WIN_BUILD)/package/$(WIN_PACKAGE)/README.txt
	cd $(WIN_BUILD)/package && rm -f ../$(WIN_PACKAGE).zip && \
	  cmake -E tar cf ../$(WIN_PACKAGE).zip --format=zip $(WIN_PACKAGE)
	@echo "$(WIN_BUILD)/$(WIN_PACKAGE).zip"

# The naming style and the length of functions (.clang-tidy) over every source of the project,
# the Windows-only ones parsed as the cross build compiles them. Fails on any finding.
tidy: deps
	@scripts/tidy -j $(JOBS)

# Applies clang-tidy's renames to the whole tree, those that are safe (what is left out for renaming
# by hand is listed in build-tidy/renames/left-out.txt), then checks it.
tidy-fix: deps
	scripts/tidy --fix -j $(JOBS)
	@scripts/tidy -j $(JOBS)

# The check of the sources, every test in a normal build and under the sanitizers, then a bounded
# run of each fuzzer, then the Windows build's tests under Wine.
test: tidy test-release test-asan fuzz-ci test-windows

# The Debian package, $(BUILD)/veldrin_<version>_<arch>.deb: the two programs and what a
# desktop needs of them. Builds only what it holds.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target veldrin_package_files
	cd $(BUILD) && cpack
	@echo "$(BUILD)/veldrin_$(VERSION)_$$(dpkg --print-architecture).deb"

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) build-bench build-tidy
