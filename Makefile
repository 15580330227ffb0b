# Developer entry points; CI runs the same targets through .ci/run.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build demo test test-sanitize fuzz bench format format-check clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./$(BUILD)/tovlek -i examples/brennmoor.mp -o $(BUILD)/brennmoor-joined.mp
	@echo "The joined map is in $(BUILD)/brennmoor-joined.mp"

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

test-sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTOVLEK_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) -j $(JOBS) --output-on-failure

# libFuzzer (clang) over the whole run and over the codec, FUZZ_SECONDS each,
# starting from the corpora in tests/fuzz/corpus; new finds go to
# $(FUZZ_BUILD)/found-*, crashes to $(FUZZ_BUILD)/crash-*.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVLEK_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target pipeline_fuzz codec_fuzz
	for target in pipeline codec; do \
	  mkdir -p $(FUZZ_BUILD)/found-$$target && \
	  (cd $(FUZZ_BUILD) && ./tests/$${target}_fuzz found-$$target ../tests/fuzz/corpus/$$target \
	     -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
	     -print_final_stats=1) || exit 1; \
	done

# Generated maps of 10,000 to 1,000,000 roads (kept in $(BUILD)/bench-maps
# for the next run) through the three phases; the plain join runs up to
# 50,000 roads for comparison. Takes a few minutes.
bench: build
	mkdir -p $(BUILD)/bench-maps
	./$(BUILD)/bench $(BUILD)/bench-maps city 10000 50000 100000 1000000
	./$(BUILD)/bench $(BUILD)/bench-maps grid 100000 1000000

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
