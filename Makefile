# Everything a fresh Debian 12 machine needs: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
SHARED ?= $(abspath ../shared)
OUT ?= out

.PHONY: all deps build build-asan run test test-fuzz bench screenshots format clean \
	package test-package test-package-install

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset release -DTARVELLE_SHARED_DIR=$(SHARED) >/dev/null
	cmake --build --preset release -j $(JOBS)

build-asan: deps
	cmake --preset asan -DTARVELLE_SHARED_DIR=$(SHARED) >/dev/null
	cmake --build --preset asan -j $(JOBS)

# Export the bundled example book into out/.
run: build
	mkdir -p $(OUT)
	./build/tarvelle-export --file examples/NNdbase.txt --out-dir $(OUT)

# Every test: unit, integration and GUI tests under the sanitizers, then a short fuzzing run.
test: build-asan
	@$(MAKE) --no-print-directory npm-readers NPM_DIR=build-asan/npm
	QT_QPA_PLATFORM=offscreen ctest --preset asan -j $(JOBS)
	$(MAKE) --no-print-directory test-fuzz

test-fuzz: deps
	cmake --preset fuzz -DTARVELLE_SHARED_DIR=$(SHARED) >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@set -e; for f in build-fuzz/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  echo "fuzzing $$(basename $$f) for 20 s"; \
	  mkdir -p build-fuzz/corpus/$$(basename $$f); \
	  $$f -max_total_time=20 -rss_limit_mb=2048 -print_final_stats=0 build-fuzz/corpus/$$(basename $$f) 2> build-fuzz/$$(basename $$f).log \
	    || { tail -50 build-fuzz/$$(basename $$f).log; exit 1; }; \
	done

# npm's pst-extractor for the reader tests, into NPM_DIR inside a build folder. Where node, npm
# or the registry is not there the tests skip that reader and say why.
PST_EXTRACTOR_VERSION := 1.12.0
NPM_DIR ?= build/npm
.PHONY: npm-readers
npm-readers:
	@package=$(NPM_DIR)/node_modules/pst-extractor/package.json; \
	if grep -qs '"version": "$(PST_EXTRACTOR_VERSION)"' $$package; then :; \
	elif ! command -v node >/dev/null || ! command -v npm >/dev/null; then \
	  echo "node or npm is not installed: the tests skip the pst-extractor reader"; \
	else mkdir -p $(NPM_DIR); \
	  npm install --prefix $(NPM_DIR) --no-audit --no-fund --no-save \
	    pst-extractor@$(PST_EXTRACTOR_VERSION) >$(NPM_DIR)/install.log 2>&1 \
	  || echo "pst-extractor could not be installed from npm ($(NPM_DIR)/install.log): the tests skip it"; \
	fi

bench: build
	./build/bench/tarvelle-bench

format:
	find eudora pst export platform wizard app cli tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz build-package build-win64 build-win32 build-win-linux out \
	  tarvelle_*_amd64.deb

# Offscreen renderings of the wizard's windows for the documentation (docs/screenshots/).
screenshots: deps
	cmake --preset release -DTARVELLE_SHARED_DIR=$(SHARED) >/dev/null
	cmake --build --preset release -j $(JOBS) --target tarvelle-screenshots
	QT_QPA_PLATFORM=offscreen ./build/tarvelle-screenshots docs/screenshots

# Cross-builds for Windows (x86_64 and i686, mingw-w64) and runs the tests under Wine in a fresh
# temporary prefix: unit tests, Windows-only tests, and the export through the Wine registry.
.PHONY: test-windows
test-windows: deps
	@dpkg --print-foreign-architectures | grep -qx i386 || { \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  $$sudo dpkg --add-architecture i386 && $$sudo apt-get update -qq; }
	@scripts/install-deps.sh scripts/debian-packages-windows.txt
	SHARED=$(SHARED) JOBS=$(JOBS) tests/windows/run-wine-tests.sh

# The Debian package tarvelle_<version>_amd64.deb, built with Debian's hardening flags.
package: deps
	@scripts/install-deps.sh scripts/debian-packages-package.txt
	flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$$1"; }; \
	  cmake --preset package -DCMAKE_CXX_FLAGS="$$(flags CPPFLAGS) $$(flags CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(flags LDFLAGS)" >/dev/null
	cmake --build --preset package -j $(JOBS)
	cd build-package && cpack -G DEB >/dev/null
	cp build-package/tarvelle_*_amd64.deb .
	@ls tarvelle_*_amd64.deb

# lintian, the desktop entry, AppStream data, manual pages, and the unpacked programs at work.
test-package: package
	tests/package/check-package.sh $$(ls tarvelle_*_amd64.deb | tail -n 1) examples/NNdbase.txt

# Not in CI: installs, uses and purges the package in a fresh Debian 12 chroot (debootstrap).
test-package-install: package
	@scripts/install-deps.sh scripts/debian-packages-package.txt
	@command -v debootstrap >/dev/null || { \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; $$sudo apt-get install -y -qq debootstrap; }
	tests/package/install-in-chroot.sh $$(ls tarvelle_*_amd64.deb | tail -n 1)
