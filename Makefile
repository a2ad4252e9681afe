# Convenience targets around CMake. `make demo` and `make test` are the quick
# start; every target configures the build directory when it has to.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
TEST_JOBS ?= 8

BENCH_BUILD_DIR ?= build-release
BENCH_CACHE ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/fare-settlement
BENCH_RUNS ?= 5

.PHONY: all build test demo install clean bench

all: build

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Black-box cases mostly sleep through the one-second wait before the first
# poll of the flag, so they run many at a time even on two cores.
test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(TEST_JOBS)

demo: build
	sh tools/demo.sh $(BUILD_DIR)/fare-settlement examples

# Release build of its own; the generated days are cached in BENCH_CACHE.
bench:
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DFARE_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target fare-bench fare-gen-day \
	  fare-settlement fare-audit
	sh bench/run.sh $(BENCH_BUILD_DIR) $(BENCH_CACHE) $(BENCH_RUNS)

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_BUILD_DIR)
