# Entry points. Every target installs what it misses (scripts/setup.sh) first.
BUILD ?= build
JOBS  ?= $(shell nproc)
# Native fuzz targets: their own build folder, and seconds per target for `make fuzz`.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: test demo build msi setup configure bench fuzz clean

# A short run of every fuzz target keeps them building and replays their regression
# inputs; ctest runs after it either way, so its summary stays the last line.
test: build
	@fuzz=0; FUZZ_SECONDS=3 FUZZ_SEED=1 JOBS=$(JOBS) scripts/run-fuzz.sh $(FUZZ_BUILD) || fuzz=$$?; \
	scripts/run-tests.sh $(BUILD); tests=$$?; \
	[ $$tests -ne 0 ] && exit $$tests; exit $$fuzz

fuzz: setup
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) scripts/run-fuzz.sh $(FUZZ_BUILD)

bench: build
	scripts/run-bench.sh $(BUILD)

demo: build
	scripts/demo.sh $(BUILD)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The Windows installer package: $(BUILD)/installer/QuillorStatusMonitor-<version>-x64.msi;
# the debug information of its programs stays in $(BUILD)/QuillorStatusMonitor.exe.debug
# and $(BUILD)/quillorstat.exe.debug (keep them with the release).
msi: configure
	cmake --build $(BUILD) -j $(JOBS) --target msi
	@echo "msi: $$(sed -n 's/^QSM_MSI:INTERNAL=//p' $(BUILD)/CMakeCache.txt); symbols: $(BUILD)/QuillorStatusMonitor.exe.debug, $(BUILD)/quillorstat.exe.debug"

configure: setup
	@if [ -f $(BUILD)/build.ninja ]; then cmake -S . -B $(BUILD) >/dev/null; else \
	    cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

setup:
	@scripts/setup.sh

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
