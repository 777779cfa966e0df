# The two commands a newcomer needs: `make run` and `make test` (as root on Debian 12).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build run test test-sanitize bench fuzz clean

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

clean:
	rm -rf build build-sanitize build-fuzz
