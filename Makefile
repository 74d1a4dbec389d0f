# Entry points: `make run` builds and runs the main job, `make check` builds
# and runs every test (plain, under ASan+UBSan, and the fuzzers).
BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 20
# CI turns warnings into errors; ZARN_WERROR=ON does it anywhere.
ZARN_WERROR ?= $(if $(filter true,$(CI)),ON,OFF)

.PHONY: all build run test asan fuzz fuzz-long check bench samples clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_WERROR=$(ZARN_WERROR)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	scripts/run-main.sh $(BUILD)/bin

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZARN_SANITIZE=ON -DZARN_BENCH=OFF -DZARN_WERROR=$(ZARN_WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The fuzz build, shared by the short fuzz stage and the campaign.
FUZZ_CONFIGURE = cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON -DZARN_TESTS=OFF \
	        -DZARN_BENCH=OFF -DZARN_WERROR=$(ZARN_WERROR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ && \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
# Without clang there is no fuzzing: a skip outside CI, a failure in it.
NO_CLANG = if [ "$(CI)" = true ]; then echo "clang++ not found: CI cannot fuzz" >&2; exit 1; \
	  else echo "clang++ not found: fuzzers skipped"; fi

fuzz:
	@if command -v clang++ >/dev/null 2>&1; then \
	  $(FUZZ_CONFIGURE) && \
	  scripts/run-fuzzers.sh $(FUZZ_BUILD)/bin $(FUZZ_SECONDS); \
	else $(NO_CLANG); fi

# A long campaign: FUZZ_SECONDS per target (10 minutes unless given) or
# FUZZ_RUNS executions (five million unless given), whichever comes first, each
# target's findings merged into $(FUZZ_BUILD)/corpus/<target>/ for the next run.
fuzz-long:
	@if command -v clang++ >/dev/null 2>&1; then \
	  $(FUZZ_CONFIGURE) && \
	  scripts/run-fuzzers.sh $(FUZZ_BUILD)/bin \
	        $(if $(filter command line environment,$(origin FUZZ_SECONDS)),$(FUZZ_SECONDS),600) $(FUZZ_BUILD)/corpus; \
	else $(NO_CLANG); fi

check: test asan fuzz

# One table of whole commands against the peer tools, the viewer's first
# paint against the converter, then the other measurements.
bench: build
	bench/peers_table.sh $(BUILD)/bin
	if [ -x $(BUILD)/bin/viewer_first_paint_bench ]; then $(BUILD)/bin/viewer_first_paint_bench; fi
	$(BUILD)/bin/bmp_bench
	bench/zarnconv_vs_cp.sh $(BUILD)/bin
	if [ -x $(BUILD)/bin/viewer_load_bench ]; then $(BUILD)/bin/viewer_load_bench; fi

samples: build
	$(BUILD)/bin/make_samples samples

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
