# The README's two commands (make demo, make test) and the developer's
# targets; CI runs the same targets through .ci/run. Each target first
# installs the Debian packages it needs (tools/ensure-packages.sh).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build demo install test test-sanitize test-thread test-libcxx windows test-windows fuzz bench \
  format format-check check-includes clean

all: build

# The tool alone: no test framework needed, warnings are not errors.
build:
	@tools/ensure-packages.sh demo
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTOVLEK_ASSERTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target tovlek

demo: build
	$(BUILD)/tovlek -i examples/brennmoor.mp -o $(BUILD)/brennmoor-joined.mp
	@echo "The joined map is in $(BUILD)/brennmoor-joined.mp"

# The tool in $(PREFIX)/bin and its manual page in $(PREFIX)/share/man/man1;
# DESTDIR, if set, is put before both (for packaging).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Everything, with warnings as errors, then every test.
test:
	@tools/ensure-packages.sh test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTOVLEK_TESTS=ON -DTOVLEK_WERROR=ON \
	  -DTOVLEK_ASSERTS=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

test-sanitize:
	$(MAKE) test BUILD=$(SANITIZE_BUILD) \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DTOVLEK_SANITIZE=ON $(CMAKE_FLAGS)"

# The tests (the tool they run too) under ThreadSanitizer: any report fails them.
TSAN_BUILD ?= build-tsan
test-thread:
	TSAN_OPTIONS="halt_on_error=1 $(TSAN_OPTIONS)" $(MAKE) test BUILD=$(TSAN_BUILD) \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVLEK_TSAN=ON $(CMAKE_FLAGS)"

# The tests built with clang and LLVM's C++ library, libc++ (GoogleTest built
# from its sources with it): nothing may depend on libstdc++ alone.
LIBCXX_BUILD ?= build-libcxx
test-libcxx:
	@tools/ensure-packages.sh libcxx
	CC=clang CXX=clang++ $(MAKE) test BUILD=$(LIBCXX_BUILD) CMAKE_FLAGS="-DTOVLEK_LIBCXX=ON $(CMAKE_FLAGS)"

# tovlek.exe for 64-bit Windows, cross-compiled with MinGW-w64 and linked
# statically: it needs no DLL that Windows does not have.
WINDOWS_BUILD ?= build-windows
windows:
	@tools/ensure-packages.sh windows
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTOVLEK_WERROR=ON -DTOVLEK_TESTS=ON >/dev/null
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target tovlek platform_tests
	@echo "The Windows tool is $(WINDOWS_BUILD)/tovlek.exe"

# The Windows tool under Wine against the Linux build (which `make test`
# builds first): vectors, platform tests, and generated, bundled and (where
# they are) shared maps.
test-windows: windows test
	mkdir -p $(BUILD)/windows-maps
	test -s $(BUILD)/windows-maps/city.mp || $(BUILD)/mapgen 7 20000 city >$(BUILD)/windows-maps/city.mp
	tools/windows-check.sh $(BUILD) $(WINDOWS_BUILD) examples/*.mp $(BUILD)/windows-maps/city.mp \
	  $(wildcard ../shared/maps/*.mp)

# libFuzzer (clang) over the whole run and over the codec, FUZZ_SECONDS each,
# starting from the corpora in tests/fuzz/corpus; new finds go to
# $(FUZZ_BUILD)/found-*, crashes to $(FUZZ_BUILD)/crash-*.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVLEK_FUZZ=ON \
	  -DTOVLEK_ASSERTS=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target pipeline_fuzz codec_fuzz
	for target in pipeline codec; do \
	  mkdir -p $(FUZZ_BUILD)/found-$$target && \
	  (cd $(FUZZ_BUILD) && ./tests/$${target}_fuzz found-$$target $(CURDIR)/tests/fuzz/corpus/$$target \
	     -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
	     -print_final_stats=1) || exit 1; \
	done

# Generated maps (kept in $(BUILD)/bench-maps for the next run) through the
# three phases: street networks of 10,000 to 1,000,000 roads with planted
# defects (also with a change report), dense clusters of 250 to 1,000
# near-identical roads, and a plain grid. The plain join runs up to 50,000
# roads for comparison. Takes a few minutes.
bench: build
	cmake --build $(BUILD) -j $(JOBS) --target bench mapgen
	mkdir -p $(BUILD)/bench-maps
	$(BUILD)/bench --report --keep-layout --close-gaps $(BUILD)/bench-maps city 10000 100000 1000000
	$(BUILD)/bench $(BUILD)/bench-maps cluster 250 500 1000
	$(BUILD)/bench $(BUILD)/bench-maps grid 100000 1000000

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

check-includes:
	tools/check-includes.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(LIBCXX_BUILD) $(WINDOWS_BUILD) $(FUZZ_BUILD)
