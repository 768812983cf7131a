# Thin wrapper around CMake. Every target first installs the Debian packages it needs that the
# machine lacks (scripts/packages); `./make` does the same where make itself is missing.
BUILD ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local

.PHONY: all deps build program run test install uninstall package bench screenshot icons format \
    tidy clean

all: build

deps:
	@scripts/need-packages.sh build $(MAKECMDGOALS)

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

# The program alone, without the tests and benchmarks.
program: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --target quillmere

run: program
	$(BUILD)/quillmere

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600

# Into $(DESTDIR)$(PREFIX); run as root, or give a DESTDIR you can write.
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes from $(DESTDIR)$(PREFIX) every file `make install` puts there, as a trial install into
# an empty folder lists them, and the program's own documentation folder.
uninstall: program
	@stage=$$(mktemp -d) && trap 'rm -rf "$$stage"' EXIT && \
	DESTDIR="$$stage" cmake --install $(BUILD) --prefix "$(PREFIX)" >/dev/null && \
	(cd "$$stage" && find . ! -type d) | while read -r file; do \
	    rm -fv "$(DESTDIR)$${file#.}"; done
	@rmdir -v "$(DESTDIR)$(PREFIX)/share/doc/quillmere" 2>/dev/null || true

# $(BUILD)/quillmere_<version>_<arch>.deb
package: program
	cd $(BUILD) && cpack

bench: build
	set -e; for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

screenshot: build
	scripts/screenshot.sh $(BUILD)/quillmere docs/screenshot.png

icons: deps
	scripts/render-icons.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

tidy: $(BUILD)/build.ninja
	git ls-files '*.cpp' | grep -v '^tests/' | xargs clang-tidy -p $(BUILD) --quiet

clean:
	rm -rf $(BUILD)
