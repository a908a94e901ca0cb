# Wraps configure, build and test. `make run` and `make check` first install
# what a fresh machine lacks (scripts/bootstrap).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build run test check asan format clean

all: build

bootstrap:
	bash scripts/bootstrap

configure:
	cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Fits the bundled example and prints the report; opens the window too
# when a display exists.
run: bootstrap build
	$(BUILD)/src/cli/quillon examples/linear.txt
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then $(BUILD)/src/app/quillon-gui; fi

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

# Everything CI runs: the tests, then the engine tests under the sanitizers.
check: bootstrap test asan

asan:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON \
	    -DQUILLON_BUILD_GUI=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L engine

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
