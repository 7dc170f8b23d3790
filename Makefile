# Front door for people: `make demo` and `make test` install what is missing, build and run.
BUILD    ?= build
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Warnings are errors in every build this file makes for testing (a plain `cmake`
# configure leaves them warnings: a user's newer compiler must not stop their build).
WERROR   := -DPM_WERROR=ON

.PHONY: all build test demo clean deps asan tsan fuzz bench soak deb deb-test

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(WERROR) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# A tree configured by hand gets its warnings made errors here too.
test: deps
	cmake -S . -B $(BUILD) $(WERROR) $(CMAKE_FLAGS)
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
	@$(MAKE) --no-print-directory test BUILD=build-asan CMAKE_FLAGS="-DSANITIZE=address -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)"

tsan: deps
	@$(MAKE) --no-print-directory test BUILD=build-tsan CMAKE_FLAGS="-DSANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)"

# Long-running: many conversions in one process with resident memory sampled (not part of
# `make test`); SOAK_CYCLES per module.
SOAK_CYCLES ?= 10000
soak: deps
	@$(MAKE) --no-print-directory build
	scripts/soak $(BUILD) $(SOAK_CYCLES)

# libFuzzer targets; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz $(WERROR) -DFUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

# The Debian binary package, from a release build of its own installed under /usr
# (packaging/make-deb; the package lands in DEB_OUT).
DEB_BUILD ?= build-deb
DEB_OUT   ?= $(DEB_BUILD)
deb: deps
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr $(CMAKE_FLAGS)
	cmake --build $(DEB_BUILD) -j $(JOBS) --target pm_installed
	packaging/make-deb $(DEB_BUILD) $(DEB_OUT)

# The package unpacked and run (and checked by lintian when it is installed).
deb-test: deb
	PM_DEB=$$(ls -t $(DEB_OUT)/pmconv_*.deb | head -n 1) prove -I $(DEB_BUILD)/perl/lib packaging/t/02_deb.t

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-deb out
