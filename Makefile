# Thin wrapper around CMake. `make run` and `make test` first install any
# Debian package the build needs that the machine lacks.
BUILD ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
PACKAGES := cmake ninja-build g++ qt6-base-dev libgtest-dev fonts-liberation
# `make package`: CPack's Debian generator runs dpkg-shlibdeps (dpkg-dev) and
# file. `make test` also validates the desktop entry and the metainfo, and
# builds the package.
DEB_PACKAGES := dpkg-dev file
TEST_PACKAGES := desktop-file-utils appstream $(DEB_PACKAGES)
# The reference tool the replace benchmark compares against, and mkfs.ext4 for
# the journaled image it also times the run on (as root).
BENCH_PACKAGES := sd e2fsprogs
SCREENSHOT_PACKAGES := xvfb xdotool x11-utils imagemagick
# Only for re-rendering the committed PNG icons from the SVG.
ICON_PACKAGES := librsvg2-bin
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build program run test install package bench screenshot icons format tidy clean

all: build

# Installs only what is missing, so that a machine that has everything
# is not touched (and needs no network).
deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

# The program alone, without the tests and benchmarks.
program: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --target quillmere

run: program
	$(BUILD)/quillmere

test: EXTRA_PACKAGES = $(TEST_PACKAGES)
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600

# Into $(DESTDIR)$(PREFIX); run as root, or give a DESTDIR you can write.
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# $(BUILD)/quillmere_<version>_<arch>.deb
package: EXTRA_PACKAGES = $(DEB_PACKAGES)
package: program
	cd $(BUILD) && cpack

bench: EXTRA_PACKAGES = $(BENCH_PACKAGES)
bench: build
	set -e; for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

screenshot: EXTRA_PACKAGES = $(SCREENSHOT_PACKAGES)
screenshot: build
	scripts/screenshot.sh $(BUILD)/quillmere docs/screenshot.png

icons: EXTRA_PACKAGES = $(ICON_PACKAGES)
icons: deps
	scripts/render-icons.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

tidy: $(BUILD)/build.ninja
	git ls-files '*.cpp' | grep -v '^tests/' | xargs clang-tidy -p $(BUILD) --quiet

clean:
	rm -rf $(BUILD)
