# Wraps configure, build and test. `make run` and `make check` first install
# what a fresh machine lacks (scripts/bootstrap).
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build run test check asan fuzz package format clean

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

# A Debian package (quillon_VERSION_ARCH.deb in the build folder) of both
# programs, the graph module, the manual page, the shell completion, the
# desktop entry, icon, MIME type and AppStream data.
package: bootstrap build
	cd $(BUILD) && cpack -G DEB

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

# Everything CI runs: all tests, then the engine tests and the torture matrix
# under AddressSanitizer and UBSan, then each fuzz target for FUZZ_SECONDS.
check: bootstrap test asan fuzz

asan:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON \
	    -DQUILLON_BUILD_GUI=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L 'engine|torture'

# Runs each libFuzzer target for FUZZ_SECONDS on a copy of its seed corpus
# (clang, AddressSanitizer and UBSan); a crash, a sanitizer report or an
# input that runs past 30 seconds fails the target.
fuzz:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQUILLON_FUZZ=ON -DQUILLON_BUILD_GUI=OFF -DQUILLON_BUILD_CLI=OFF -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	for target in compute document formula; do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target $(FUZZ_BUILD)/artifacts && \
	    $(FUZZ_BUILD)/tests/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
	        -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$target- \
	        $(FUZZ_BUILD)/corpus/$$target tests/fuzz/corpus/$$target || exit 1; \
	done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
