# The two commands a newcomer needs: `make run` and `make test` (as root on Debian 12).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build run test test-sanitize soak bench fuzz package package-test clean

all: build

setup:
	@./scripts/setup

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./scripts/create-db $(BUILD)/bin/data/KOVAUTF8.FDB
	$(BUILD)/bin/KOVA

test: build
	cd $(BUILD) && ctest --output-on-failure -j 2

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DKOVA_SANITIZE=ON"

# Print runs through real faults (tests/tst_faults.cpp), SOAK_TRIALS trials of each
# instead of the suite's few; KOVA_FAULT_SEED=N replays a run's random moments.
SOAK_TRIALS ?= 40
soak: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target tst_faults
	cd $(BUILD) && KOVA_FAULT_TRIALS=$(SOAK_TRIALS) QTEST_FUNCTION_TIMEOUT=3600000 \
		ctest -R '^tst_faults$$' --output-on-failure

# Every benchmark under bench/ (build/bin/bench_*), each printing its table.
bench: build
	@set -e; for b in $(BUILD)/bin/bench_*; do \
		[ -x "$$b" ] || continue; \
		echo "== $$(basename $$b)"; \
		QT_QPA_PLATFORM=offscreen "$$b"; \
	done

# The fuzz targets under fuzz/ as libFuzzer programs with ASan and UBSan, built
# by clang in build-fuzz/bin; scripts/fuzz runs them.
fuzz:
	@./scripts/setup fuzz
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKOVA_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target kova_fuzzers

# The Debian package kova_<version>_amd64.deb, here: a release build installed
# under /usr, with Debian's hardening flags, stripped, without the tests.
PACKAGE_BUILD ?= build-package
package:
	@./scripts/setup package
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DKOVA_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS) -s" >/dev/null
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -f $(PACKAGE_BUILD)/kova_*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB >/dev/null
	cp $(PACKAGE_BUILD)/kova_*.deb .
	@ls kova_*.deb

# Builds the package and tries it on this machine as root: installs it, prints
# as two users of the group kova, upgrades and removes it; leaves the machine as
# it was (scripts/package-test). Not part of `make test`: it needs root and time.
package-test: package
	./scripts/package-test

clean:
	rm -rf build build-sanitize build-fuzz $(PACKAGE_BUILD) kova_*.deb
