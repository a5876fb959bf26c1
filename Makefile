# Thin wrapper around CMake + Ninja.
#   make demo   install what is missing, build, run examples/demo.zs
#   make test   build and run every test, then again under ASan + UBSan
#   make crash  the crash harness's full run (every cut and every fault)
#   make bench  release build, run the benchmarks
#   make fuzz   clang build in build-fuzz, each fuzz target for FUZZ_SECONDS;
#               findings land in build-fuzz/findings/TARGET/
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := volume_scan command_entry
# Absolute: a target may work in a scratch folder of its own.
FUZZ_DIR := $(CURDIR)/build-fuzz
# Per target: a database image from a seed of 120 KB has no business with
# more than 256 MB; Init may reserve an eighth of the physical memory.
FUZZ_FLAGS_volume_scan := -malloc_limit_mb=256 -rss_limit_mb=1024
FUZZ_FLAGS_command_entry := -malloc_limit_mb=$(shell awk '/MemTotal/ {print int($$2 / 8192) + 512}' /proc/meminfo)

.PHONY: all deps build demo test test-plain test-sanitize crash bench fuzz format clean

all: build

deps:
	@scripts/install-deps

build/build.ninja:
	cmake -S . -B build -G Ninja $(CMAKE_FLAGS)

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

demo: build
	./build/zorvane run examples/demo.zs

test: test-plain test-sanitize

test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS)

build-asan/build.ninja:
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORVANE_SANITIZE=ON $(CMAKE_FLAGS)

test-sanitize: deps build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The suite checks a sample of the crash images and faults; this checks all.
crash: build
	./build/test_durability --gtest_also_run_disabled_tests --gtest_filter='*Full*'

build-release/build.ninja:
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

bench: deps build-release/build.ninja
	cmake --build build-release -j $(JOBS)
	@set -e; for b in build-release/bench_*; do echo "== $$b"; $$b; done

build-fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZORVANE_SANITIZE=ON -DZORVANE_FUZZ=ON $(CMAKE_FLAGS)

# Runs every target even when one finds something; fails if any did.
fuzz:
	@scripts/install-deps --fuzz
	$(MAKE) build-fuzz/build.ninja
	cmake --build build-fuzz -j $(JOBS) --target fuzz_seeds $(FUZZ_TARGETS:%=%_fuzzer)
	./build-fuzz/fuzz_seeds build-fuzz/fuzz-seeds
	@status=0; $(foreach t,$(FUZZ_TARGETS), \
	  mkdir -p build-fuzz/corpus/$(t) build-fuzz/findings/$(t); \
	  echo "== $(t) for $(FUZZ_SECONDS) s"; \
	  ./build-fuzz/$(t)_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	    $(FUZZ_FLAGS_$(t)) -artifact_prefix=$(FUZZ_DIR)/findings/$(t)/ \
	    $(FUZZ_DIR)/corpus/$(t) $(FUZZ_DIR)/fuzz-seeds/$(t) || status=1;) \
	exit $$status

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-fuzz
