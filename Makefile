# Entry points; the real work is in CMake and scripts/.
BUILD        ?= build
BUILD_BENCH  ?= build-bench
BUILD_PACKAGE ?= build-package
PREFIX       ?= /usr/local
DESTDIR      ?=
JOBS         ?= $(shell nproc)
CMAKE_FLAGS  ?=

.PHONY: all deps configure build test test-unit bench fuzz run screenshot gallery-screenshot clean skin-preview \
        install package

all: build

deps:
	scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DTOLV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Everything: install what is missing, build with ASan+UBSan, run every test (unit, fuzz seed
# runs, whole-program tests under Xvfb).
test: deps
	$(MAKE) build
	cd $(BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B $(BUILD_BENCH) -DCMAKE_BUILD_TYPE=Release -DTOLV_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	scripts/run-benches $(BUILD_BENCH)

fuzz: deps
	scripts/fuzz-run $(BUILD)/fuzz 200000

# Starts the program on the simulated firmware in $(BUILD)/demo-root with the firmware monitor
# in this terminal (a private Xvfb when there is no display); Ctrl-C ends it.
run:
	$(MAKE) build
	scripts/run-demo $(BUILD)

# Writes docs/screenshot.png (the window with the watchdog on), docs/screenshot-tray.png (the
# tray's popup menu) and docs/screenshot-restart.png (the notice after a restart by the watchdog)
# from the real program on a private Xvfb with openbox, xcompmgr and trayer,
# then docs/screenshot-hidpi.png (the window on a desktop scaled twice) and
# docs/screenshot-wayland.png (the window and waybar's tray on a headless sway).
screenshot:
	$(MAKE) build
	scripts/screenshot $(BUILD)

# Composes docs/kit-gallery.png: every control of the kit in each state on the default skin.
gallery-screenshot: configure
	cmake --build $(BUILD) --target kitgallery
	scripts/gallery-screenshot $(BUILD)

# Composes docs/skin-preview.png from the skin the build draws.
skin-preview: configure
	cmake --build $(BUILD) --target skin-preview

# A release build of the program in $(BUILD_PACKAGE), installed under $(DESTDIR)$(PREFIX),
# stripped. The group, udev rule and shared folders it installs take effect once applied (see
# README, Install).
install:
	scripts/build-package --files-only $(BUILD_PACKAGE) $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_PACKAGE) --prefix "$(PREFIX)" --strip

# The Debian package, from a release build in $(BUILD_PACKAGE), into $(BUILD_PACKAGE)/package/.
package: deps
	scripts/build-package $(BUILD_PACKAGE) $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_BENCH) $(BUILD_PACKAGE)
