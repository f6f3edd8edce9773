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
        windows windows-deps wine-deps test-windows test-32bit i386-deps test-i386 \
        web web-deps serve-web test-web

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

test: test-unit test-asan test-tsan test-fuzz test-32bit test-web
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

# wine64 always; wine32 (Debian's i386 architecture) wherever 32-bit code runs, natively
# or through the qemu handler of tests/i386/with-i386.sh (held while the packages install);
# PulseAudio, whose null sink gives wine a sound device that plays in real time.
wine-deps: deps
	$(call apt_install,wine wine64 pulseaudio)
	@if ! dpkg-query -W -f='$${Status}\n' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "For 32-bit programs under wine: sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386"; \
	  else \
	    tests/i386/with-i386.sh bash -c ' \
	      if [ "$$KESTOL_I386_RUN" = none ]; then \
	        echo "This machine cannot run 32-bit code: wine32 is not installed; the smoke test uses wine64."; exit 0; \
	      fi; \
	      dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386 && apt-get update -qq; }; \
	      echo "Installing: wine32:i386"; \
	      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 >/dev/null'; \
	  fi; \
	fi

windows: windows-deps deps build/default/build.ninja
	cmake --build build/default -j$(JOBS) --target vexo_content kestol
	cmake --preset windows -DKESTOL_WINDOWS_PAK=$(CURDIR)/$(WINDOWS_CONTENT)/vexo.pak \
	      -DKESTOL_WINDOWS_ICON=$(CURDIR)/$(WINDOWS_CONTENT)/icon.bmp >/dev/null
	cmake --build build/windows -j$(JOBS)
	@echo "Built build/windows/vexo.exe and build/windows/tools/kestol.exe"

# The smoke test under wine in Xvfb (tests/windows/smoke.sh), the 32-bit programs where
# 32-bit code runs (natively or through the qemu handler, which the run holds).
test-windows: windows wine-deps
	JOBS=$(JOBS) tests/i386/with-i386.sh xvfb-run -a -s "-screen 0 1024x768x24" tests/windows/smoke.sh

# ---- 32-bit x86 Linux ------------------------------------------------------------------------
# `make test-i386`: the engine's unit tests built with gcc -m32 (CMake preset i386), against a
# GoogleTest built for that target from Debian's sources (/usr/src/googletest), and run
# natively or through the qemu handler (tests/i386/with-i386.sh).
I386_PACKAGES := gcc-multilib g++-multilib googletest
I386_GTEST := build/i386-googletest/install/lib/cmake/GTest/GTestConfig.cmake

i386-deps: deps
	$(call apt_install,$(I386_PACKAGES))

$(I386_GTEST): | i386-deps
	cmake -S /usr/src/googletest -B build/i386-googletest -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/linux-i386.cmake \
	      -DCMAKE_INSTALL_PREFIX=$(CURDIR)/build/i386-googletest/install >/dev/null
	cmake --build build/i386-googletest -j$(JOBS) >/dev/null
	cmake --install build/i386-googletest >/dev/null

# The build runs the test programs too (GoogleTest's test discovery), so it holds the handler.
I386_NICE ?= 0
test-i386: i386-deps $(I386_GTEST)
	nice -n $(I386_NICE) tests/i386/with-i386.sh bash -c '[ "$$KESTOL_I386_RUN" != none ] || exit 1; \
	  cmake --preset i386 >/dev/null && cmake --build build/i386 -j$(JOBS) && \
	  $(CTEST) --test-dir build/i386 -L unit -j$(JOBS)'

# The Windows smoke test and the 32-bit unit tests side by side: the smoke test waits on the
# demo's real-time run most of its time. The 32-bit build and tests run at the lowest
# priority, so that they cannot slow the real-time demo. Packages first, so that no two
# installs meet.
test-32bit: deps
	$(MAKE) wine-deps
	$(MAKE) i386-deps
	$(MAKE) -j2 --output-sync=recurse I386_NICE=19 test-windows test-i386

# ---- The browser --------------------------------------------------------------------------
# `make web`: build/web/ (index.html and its script, the service worker, the audio worklet,
# vexo.js, vexo.worker.js and vexo.wasm with the archive inside), built with Debian's
# emscripten in build/web-cmake. The archive is made by the native build's own tools.
# Debian's node does not look in /usr/share/nodejs by itself; emscripten needs its modules.
WEB_PACKAGES := emscripten chromium python3-websocket
WEB_ENV := NODE_PATH=/usr/share/nodejs
WEB_PORT ?= 8000

web-deps:
	$(call apt_install,$(WEB_PACKAGES))

web: web-deps deps build/default/build.ninja
	cmake --build build/default -j$(JOBS) --target vexo_content
	$(WEB_ENV) cmake --preset web -DKESTOL_WEB_PAK=$(CURDIR)/build/default/assets/content/vexo.pak \
	      -DKESTOL_WEB_OUTPUT=$(CURDIR)/build/web >/dev/null
	$(WEB_ENV) cmake --build build/web-cmake -j$(JOBS)
	@echo "Built build/web/ (\`make serve-web\` serves it)"

# Any static server will do: the page's service worker adds the headers its threads need.
serve-web: web
	@echo "Serving build/web/ on http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C ends)"
	@cd build/web && /usr/bin/python3 -m http.server --bind 127.0.0.1 $(WEB_PORT) >/dev/null

# Headless Chromium over the DevTools protocol against the headless capture's frames.
test-web: web
	cmake --build build/default -j$(JOBS) --target vexo-capture
	/usr/bin/python3 tests/web/test_web.py build/web build/default/tools/capture/vexo-capture \
	    --pak build/default/assets/content/vexo.pak

clean:
	rm -rf build
