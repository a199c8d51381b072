# Entry points. Every target installs what it misses (scripts/setup.sh) first.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: test demo build setup configure bench fuzz clean

test: build
	scripts/run-tests.sh $(BUILD)

demo: build
	scripts/demo.sh $(BUILD)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

configure: setup
	@if [ -f $(BUILD)/build.ninja ]; then cmake -S . -B $(BUILD) >/dev/null; else \
	    cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

setup:
	@scripts/setup.sh

clean:
	rm -rf $(BUILD)
