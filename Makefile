# Kestol and Vexo. `make run` and `make test` install what is missing themselves.
SHELL := /bin/bash
PACKAGES := $(shell grep -v '^\#' .ci/packages.txt)
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 300
CTEST := ctest --output-on-failure --timeout 900

.PHONY: all deps build run capture test test-unit test-asan test-tsan test-fuzz bench fuzz clean

all: build

# Installs the Debian packages the project needs (as root), or names them and the command.
deps:
	@missing=$$(for p in $(PACKAGES); do \
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

build/default/build.ninja: | deps
	cmake --preset default >/dev/null

build: deps build/default/build.ninja
	cmake --build build/default -j$(JOBS)

run: build
	@./tools/run.sh

capture: build
	@./tools/run.sh --capture

test: test-unit test-asan test-tsan test-fuzz
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

clean:
	rm -rf build
