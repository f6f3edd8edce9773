# Kestol and Vexo. `make run` and `make test` install what is missing themselves.
SHELL := /bin/bash
RUN_PACKAGES := $(shell grep -v '^\#' .ci/packages-run.txt)
PACKAGES := $(RUN_PACKAGES) $(shell grep -v '^\#' .ci/packages.txt)
# What `make run` and `make capture` build: the programs, no test or benchmark.
RUN_TARGETS := vexo vexo-capture kestol
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 300
CTEST := ctest --output-on-failure --timeout 900

.PHONY: all deps deps-run build build-run run capture test test-unit test-asan test-tsan test-fuzz bench fuzz clean \
        windows windows-deps wine-deps test-windows

all: build

# Installs what is missing from $(1) (as root), or names it and the command.
define apt_install
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing: $$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "These packages are missing: $$missing"; \
	    echo "Install them with: sudo apt-get install $$missing"; \
	    exit 1; \
	  fi; \
	fi
endef

# The Debian packages the project needs: those for running alone (.ci/packages-run.txt),
# and with them those for the tests (.ci/packages.txt).
deps-run:
	$(call apt_install,$(RUN_PACKAGES))

deps: deps-run
	$(call apt_install,$(PACKAGES))

# Configured with the tests and benchmarks when it builds everything; `make run` on a
# fresh tree configures without them (and so needs no test package), `make build` after it
# turns them on again.
build/default/build.ninja: | deps
	cmake --preset default >/dev/null

build: deps
	cmake --preset default -DKESTOL_TESTS=ON -DKESTOL_BENCH=ON >/dev/null
	cmake --build build/default -j$(JOBS)

build-run: deps-run
	@[ -f build/default/build.ninja ] || cmake --preset default -DKESTOL_TESTS=OFF -DKESTOL_BENCH=OFF >/dev/null
	cmake --build build/default -j$(JOBS) --target $(RUN_TARGETS)

run: build-run
	@./tools/run.sh

capture: build-run
	@./tools/run.sh --capture

test: test-unit test-asan test-tsan test-fuzz test-windows
	@echo "All test runs passed."

test-unit: build
	$(CTEST) --test-dir build/default -L 'unit|e2e' -j$(JOBS)
	xvfb-run -a -s "-screen 0 1280x1024x24" $(CTEST) --test-dir build/default -L window

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build build/asan -j$(JOBS)
	$(CTEST) --test-dir build/asan -L unit -j$(JOBS)

# ThreadSanitizer needs a fixed address layout on kernels with high mmap entropy.
test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build build/tsan -j$(JOBS) --target threaded_tests
	setarch $$(uname -m) -R $(CTEST) --test-dir build/tsan -L threads

test-fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	$(CTEST) --test-dir build/fuzz -L fuzz

bench: build
	@for b in build/default/bench/*_bench; do \
	  [ -x "$$b" ] || continue; echo "== $$(basename $$b)"; "$$b" --benchmark_counters_tabular=true || exit 1; \
	done

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	@for f in build/fuzz/fuzz/*_fuzz; do \
	  echo "== $$(basename $$f) for $(FUZZ_SECONDS) s"; \
	  mkdir -p build/fuzz/corpus/$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 build/fuzz/corpus/$$(basename $$f) || exit 1; \
	done

# ---- Windows ------------------------------------------------------------------------------
# `make windows`: build/windows/vexo.exe (32-bit, GUI, the archive and the icon as
# resources) and build/windows/tools/kestol.exe, cross-built with mingw-w64. The archive
# and the icon are made by the native build's own tools.
WINDOWS_CONTENT := build/default/assets/content
MINGW_PACKAGES := g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix

windows-deps:
	$(call apt_install,$(MINGW_PACKAGES))

# wine64 always; wine32 (Debian's i386 architecture) only where the kernel runs 32-bit
# code, which the i386 dynamic loader tells once it is installed.
wine-deps: deps
	$(call apt_install,wine wine64)
	@if ! dpkg-query -W -f='$${Status}\n' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "For 32-bit programs under wine: sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386"; \
	  else \
	    dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386 && apt-get update -qq; }; \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libc6:i386 >/dev/null; \
	    if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then \
	      echo "Installing: wine32:i386"; \
	      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 >/dev/null; \
	    else \
	      echo "This kernel cannot run 32-bit code: wine32 is not installed; the smoke test uses wine64."; \
	    fi; \
	  fi; \
	fi

windows: windows-deps deps build/default/build.ninja
	cmake --build build/default -j$(JOBS) --target vexo_content kestol
	cmake --preset windows -DKESTOL_WINDOWS_PAK=$(CURDIR)/$(WINDOWS_CONTENT)/vexo.pak \
	      -DKESTOL_WINDOWS_ICON=$(CURDIR)/$(WINDOWS_CONTENT)/icon.bmp >/dev/null
	cmake --build build/windows -j$(JOBS)
	@echo "Built build/windows/vexo.exe and build/windows/tools/kestol.exe"

# The smoke test under wine in Xvfb (tests/windows/smoke.sh).
test-windows: windows wine-deps
	JOBS=$(JOBS) xvfb-run -a -s "-screen 0 1024x768x24" tests/windows/smoke.sh

clean:
	rm -rf build
