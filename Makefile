# Front door for people: `make demo` and `make test` install what is missing, build and run.
BUILD    ?= build
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test demo clean deps asan tsan fuzz bench soak

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: deps
	@$(MAKE) --no-print-directory build
	@scripts/demo $(BUILD)

# Benchmarks against the tools users would otherwise pick (installs those first);
# generated inputs stay in $(BUILD)/bench-data.
bench: deps
	@bench/install-bench-deps
	@$(MAKE) --no-print-directory build
	bench/run $(BUILD)

# Sanitizer builds in their own trees.
asan: deps
	@$(MAKE) --no-print-directory test BUILD=build-asan CMAKE_FLAGS="-DSANITIZE=address -DCMAKE_BUILD_TYPE=Debug"

tsan: deps
	@$(MAKE) --no-print-directory test BUILD=build-tsan CMAKE_FLAGS="-DSANITIZE=thread -DCMAKE_BUILD_TYPE=Debug"

# Long-running: many conversions in one process with resident memory sampled (not part of
# `make test`); SOAK_CYCLES per module.
SOAK_CYCLES ?= 10000
soak: deps
	@$(MAKE) --no-print-directory build
	scripts/soak $(BUILD) $(SOAK_CYCLES)

# libFuzzer targets; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DFUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz out
