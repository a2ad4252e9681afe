# Convenience targets around CMake. `make demo` and `make test` are the quick
# start; every target installs the Debian packages it needs first (as root;
# otherwise it stops with the apt-get line to run) and configures the build
# directory when it has to.
BUILD_DIR ?= build
PACKAGE_BUILD_DIR ?= build-package
PREREQUISITES = sh tools/install-prerequisites
JOBS ?= $(shell nproc)
TEST_JOBS ?= 8
# WERROR=ON makes compiler warnings errors in the test, sanitizer and fuzz
# builds (.ci/run sets it).
WERROR ?= OFF

# The programs as shipped (Release, NDEBUG, no tests): make demo, make
# install, the second run of the black-box tests, make bench.
RELEASE_BUILD_DIR ?= build-release
BENCH_BUILD_DIR ?= $(RELEASE_BUILD_DIR)
BENCH_CACHE ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/fare-settlement
BENCH_RUNS ?= 5
# Sizes of the timed days in taps; add 100000000 for the day of 2.45 GB.
BENCH_SIZES ?= 1000000 10000000
# off: no SQL engine beside the timed days (nothing installed from npm).
BENCH_SQL ?= on

.PHONY: all build test-build release-build test demo install clean bench \
  difftest asan-test fuzz package windows windows-test windows-package

all: build

# The three programs; the tests too when GoogleTest is installed.
build:
	@$(PREREQUISITES) build
	@[ -f $(BUILD_DIR)/CMakeCache.txt ] || \
	  cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

test-build:
	@$(PREREQUISITES) build test
	cmake -S . -B $(BUILD_DIR) -DFARE_BUILD_TESTS=ON -DFARE_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the three programs, as shipped.
release-build:
	@$(PREREQUISITES) build
	cmake -S . -B $(RELEASE_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DFARE_BUILD_TESTS=OFF -DFARE_WERROR=$(WERROR)
	cmake --build $(RELEASE_BUILD_DIR) -j $(JOBS) --target fare-settlement \
	  fare-audit fare-ledger

# The whole suite against the assertion build, then the black-box tests
# again against the Release build. Black-box cases mostly sleep through the
# one-second wait before the first poll of the flag, so they run many at a
# time even on two cores.
RELEASE_PROGRAMS = FARE_TEST_SETTLEMENT=$(abspath $(RELEASE_BUILD_DIR))/fare-settlement \
  FARE_TEST_AUDIT=$(abspath $(RELEASE_BUILD_DIR))/audit/fare-audit \
  FARE_TEST_LEDGER=$(abspath $(RELEASE_BUILD_DIR))/ledger/fare-ledger
test: test-build release-build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(TEST_JOBS)
	$(RELEASE_PROGRAMS) ctest --test-dir $(BUILD_DIR) -L blackbox \
	  --output-on-failure -j $(TEST_JOBS)

# A longer random comparison of the program with the plain model:
# make difftest N=10000 [SEED=1000000]
N ?= 10000
SEED ?= 1000000
difftest: test-build
	$(BUILD_DIR)/tests/difftest $(N) $(SEED)

# The whole suite again with AddressSanitizer and UBSan in build-asan; the
# environment reaches the program run by the black-box tests too.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
asan-test:
	@$(PREREQUISITES) build test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFARE_SANITIZE=ON \
	  -DFARE_WERROR=$(WERROR)
	cmake --build build-asan -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir build-asan --output-on-failure -j $(TEST_JOBS)

# libFuzzer targets built with clang-14 in build-fuzz, each run for
# FUZZ_SECONDS; new inputs go to build-fuzz/corpus, crashes to
# build-fuzz/artifacts. The whole-settlement target keeps the lists of every
# input alive by design: it runs in rounds of fresh processes (tools/fuzz.sh)
# and without leak checking.
FUZZ_SECONDS ?= 60
FUZZ_CXX ?= clang++-14
FUZZ_OPTIONS = -artifact_prefix=build-fuzz/artifacts/
fuzz:
	@$(PREREQUISITES) build fuzz
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFARE_FUZZ=ON -DFARE_BUILD_TESTS=OFF \
	  -DFARE_WERROR=$(WERROR)
	cmake --build build-fuzz -j $(JOBS) --target record_line_fuzzer settlement_fuzzer
	mkdir -p build-fuzz/corpus/record_line build-fuzz/corpus/settlement \
	  build-fuzz/artifacts
	tools/fuzz.sh build-fuzz/fuzz/record_line_fuzzer $(FUZZ_SECONDS) -1 \
	  build-fuzz/corpus/record_line fuzz/corpus/record_line -- $(FUZZ_OPTIONS)
	tools/fuzz.sh build-fuzz/fuzz/settlement_fuzzer $(FUZZ_SECONDS) 400 \
	  build-fuzz/corpus/settlement fuzz/corpus/settlement -- $(FUZZ_OPTIONS) \
	  -detect_leaks=0 -dict=fuzz/settlement.dict

demo: release-build
	sh tools/demo.sh $(RELEASE_BUILD_DIR)/fare-settlement \
	  $(RELEASE_BUILD_DIR)/audit/fare-audit examples

# Release build of its own; the generated days are cached in BENCH_CACHE.
bench:
	@$(PREREQUISITES) build
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DFARE_BUILD_TESTS=OFF -DFARE_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target fare-bench fare-gen-day \
	  fare-gen-crafted fare-settlement fare-audit fare-ledger \
	  fare-ledger-fill
	BENCH_SIZES="$(BENCH_SIZES)" BENCH_SQL=$(BENCH_SQL) \
	  BENCH_WINDOWS=$(abspath $(WINDOWS_BUILD_DIR)) sh bench/run.sh $(BENCH_BUILD_DIR) \
	  $(BENCH_CACHE) $(BENCH_RUNS)

# The programs as shipped, with the man pages and documentation.
install: release-build
	cmake --build $(RELEASE_BUILD_DIR) -j $(JOBS)
	cmake --install $(RELEASE_BUILD_DIR)

# The Debian package, from a Release build of its own with Debian's
# hardening flags: $(PACKAGE_BUILD_DIR)/fare-settlement_VERSION_ARCH.deb.
BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package:
	@$(PREREQUISITES) build package
	cmake -S . -B $(PACKAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DFARE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CPPFLAGS) $$($(BUILDFLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)" \
	  $(if $(MAINTAINER),-DFARE_MAINTAINER='$(MAINTAINER)')
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS)
	cd $(PACKAGE_BUILD_DIR) && cpack

# The Windows programs, cross-built with Debian's mingw-w64 into
# $(WINDOWS_BUILD_DIR): static x86-64 .exe files that import only system
# DLLs. A program is added by naming its CMake target here. fare-ledger
# compiles in SQLite's amalgamation, which the prerequisites fetch into
# $(WINDOWS_BUILD_DIR)/sqlite.
WINDOWS_BUILD_DIR ?= build-windows
WINDOWS_PROGRAMS ?= fare-settlement fare-audit fare-ledger
WINDOWS_SQLITE_DIR = $(abspath $(WINDOWS_BUILD_DIR))/sqlite
windows:
	@FARE_SQLITE_DIR=$(WINDOWS_SQLITE_DIR) $(PREREQUISITES) windows
	cmake -S . -B $(WINDOWS_BUILD_DIR) \
	  -DCMAKE_TOOLCHAIN_FILE=tools/windows-toolchain.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DFARE_WERROR=$(WERROR) \
	  -DFARE_WINDOWS_TESTS=ON -DFARE_SQLITE_DIR=$(WINDOWS_SQLITE_DIR)
	cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS) --target $(WINDOWS_PROGRAMS) \
	  os_windows_tests

# The black-box tests of the native build run against the Windows programs
# under wine (tests that need what Windows lacks are left out, see
# tools/windows-test.sh), then the Windows layer's own tests.
windows-test: windows test-build
	sh tools/windows-test.sh $(BUILD_DIR) $(WINDOWS_BUILD_DIR) $(TEST_JOBS)

# The Windows download: the three programs, the README for Windows, LICENSE,
# the three manuals as text and the sample day, in
# $(WINDOWS_BUILD_DIR)/fare-settlement-VERSION-win64.zip (tools/windows-package.sh).
windows-package: windows
	sh tools/windows-package.sh $(WINDOWS_BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(RELEASE_BUILD_DIR) $(BENCH_BUILD_DIR) $(PACKAGE_BUILD_DIR) build-asan \
	  build-fuzz build-no-gtest $(WINDOWS_BUILD_DIR)
