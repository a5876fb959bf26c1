# Thin wrapper around CMake + Ninja.
#   make demo   install what is missing, build, run examples/demo.zs
#   make test   build and run every test, then again under ASan + UBSan
#   make bench  release build, run the benchmarks
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test test-plain test-sanitize bench format clean

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

build-release/build.ninja:
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

bench: deps build-release/build.ninja
	cmake --build build-release -j $(JOBS)
	@set -e; for b in build-release/bench_*; do echo "== $$b"; $$b; done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release
