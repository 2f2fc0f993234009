# User commands:
#   make run   - build mutloc and mutloc-prepare (Release, -O2, in build/),
#                run the simulated example the recommended way (--mix) and
#                set its answer beside the known truth
#   make test  - build and run every test: the release build (build-test/), the
#                whole suite again under AddressSanitizer +
#                UndefinedBehaviorSanitizer, and the menu and thread tests
#                under ThreadSanitizer
# Both first install the Debian packages they need that are missing
# (tools/debian-packages lists them; make deps installs them all).
# Also: make fuzz, make fuzz-long, make soak, make bench (see README), make
# validate (validation/README.md), make workflow-example, make workflow-test,
# make cluster-test (README, Many regions), make compare-builds BASE=...
# (outputs against another build, for changes meant to leave them alone).
BUILD ?= build
EXAMPLE ?= examples/simulated/simulated.txt
EXAMPLE_OPTIONS ?= --mix
# The simulated example's true location and age (examples/README.md); other
# examples get no truth check.
EXAMPLE_TRUTH ?= $(if $(filter examples/simulated/simulated.txt,$(EXAMPLE)),--location 0.0123 --age 139.5)
JOBS ?= 2

# Any sanitizer report ends the process with status 86, which fails the test.
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=86 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86 \
	TSAN_OPTIONS=halt_on_error=1:exitcode=86

.PHONY: deps deps-run run test build test-release test-asan test-tsan

deps:
	@tools/install-deps
deps-run:
	@tools/install-deps run

# The program alone, so that building it needs no test or benchmark libraries.
# The release test suite has its own folder: sharing this one would switch the
# configuration back and forth between make run and make test.
build: deps-run
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DMUTLOC_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp $(EXAMPLE) $(BUILD)/run/
	cd $(BUILD)/run && ../mutloc $(notdir $(EXAMPLE)) $(EXAMPLE_OPTIONS)
	@echo
	@echo "The outputs are in $(BUILD)/run/ ($(notdir $(EXAMPLE)).dat, .log, .sig, .hap, .hin, .hpf, .mat, .tre, .summary.json)."
	@if [ -n "$(EXAMPLE_TRUTH)" ]; then tools/truth-check $(BUILD)/run/$(notdir $(EXAMPLE)).summary.json $(EXAMPLE_TRUTH); fi

test: test-release test-asan test-tsan

test-release: deps
	cmake -S . -B $(BUILD)-test -G Ninja -DCMAKE_BUILD_TYPE=Release -DMUTLOC_TESTS=ON
	cmake --build $(BUILD)-test -j $(JOBS)
	cd $(BUILD)-test && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMUTLOC_SANITIZE=address -DMUTLOC_TESTS=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMUTLOC_SANITIZE=thread -DMUTLOC_TESTS=ON \
		-DMUTLOC_TEST_GLOB="menu/*_test.cpp;driver/threads_test.cpp"
	cmake --build $(BUILD)-tsan -j $(JOBS)
	cd $(BUILD)-tsan && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# Fuzzing (clang, libFuzzer): each target for FUZZ_SECONDS (make fuzz), or for
# FUZZ_LONG_RUNS executions or FUZZ_LONG_SECONDS, whichever comes first (make
# fuzz-long). New crashes land in $(BUILD)-fuzz/crashes/; copy each into
# tests/fuzz/regressions/<target>/. The set-up target may allocate no more
# than its budget of 32 MB lets through.
FUZZ_SECONDS ?= 60
FUZZ_LONG_RUNS ?= 10000000
FUZZ_LONG_SECONDS ?= 7200
FUZZ_TARGETS = params annotation storedtree checkpoint setup

# $(1): the options that end each target's session.
define run_fuzzers
	cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DMUTLOC_SANITIZE=fuzzer
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	mkdir -p $(BUILD)-fuzz/crashes
	for t in $(FUZZ_TARGETS); do \
	  limits="-rss_limit_mb=2048"; [ $$t = setup ] && limits="-rss_limit_mb=1024 -malloc_limit_mb=64"; \
	  rm -rf $(BUILD)-fuzz/work/$$t && mkdir -p $(BUILD)-fuzz/work/$$t && \
	  (cd $(BUILD)-fuzz/work && ../tests/fuzz_$$t $(1) $$limits \
	    -print_final_stats=1 -artifact_prefix=../crashes/$$t- $$t \
	    $(CURDIR)/tests/fuzz/corpus/$$t $$(ls -d $(CURDIR)/tests/fuzz/regressions/$$t 2>/dev/null) \
	    >/dev/null 2>../$$t.log; \
	   status=$$?; echo "$$t:"; grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec|ERROR|SUMMARY' ../$$t.log; \
	   exit $$status) || exit 1; \
	done
endef

.PHONY: fuzz fuzz-long
fuzz: deps
	$(call run_fuzzers,-max_total_time=$(FUZZ_SECONDS))
fuzz-long: deps
	$(call run_fuzzers,-runs=$(FUZZ_LONG_RUNS) -max_total_time=$(FUZZ_LONG_SECONDS))

# Soak: many short runs of the ASan+UBSan build with random seeds and random
# valid parameter files (SOAK_RUNS of them).
SOAK_RUNS ?= 300
.PHONY: soak
soak: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMUTLOC_SANITIZE=address -DMUTLOC_TESTS=ON
	cmake --build $(BUILD)-asan -j $(JOBS) --target mutloc
	$(SANITIZER_ENV) python3 tests/soak/soak.py $(BUILD)-asan/mutloc $(SOAK_RUNS)

# Benchmarks: the sampler's kernels, then whole runs of the data sets.
# BENCH_BASELINE=/path/to/other/mutloc runs that build side by side.
BENCH_BASELINE ?=
.PHONY: bench
bench: deps build
	cmake -S . -B $(BUILD) -DMUTLOC_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target kernels_bench
	$(BUILD)/bench/kernels_bench $(BUILD)/bench/data
	MUTLOC_BENCH_DATA=$(BUILD)/bench/data bench/run_bench.sh $(BENCH_BASELINE) $(BUILD)/mutloc

# The benchmark data sets run for 10000 iterations must give, byte for byte,
# the outputs of the sampler before its optimisations with
# --symmetric-genealogy, and the checksums of the default runs without it
# (about twenty minutes).
.PHONY: bench-verify
bench-verify: deps build
	bench/verify_outputs.sh $(BUILD)/mutloc $(BUILD)/bench/verify

# A change meant to leave every output alone, against a build of the commit it
# starts from (BASE: that build's folder): the examples and fixtures with and
# without the sampling options, checkpoints and mutloc-prepare, byte for byte
# (about four minutes; tools/compare-builds says what it runs).
.PHONY: compare-builds
compare-builds: build
	@test -n "$(BASE)" || { echo "make compare-builds BASE=/path/to/base/build"; exit 2; }
	tools/compare-builds $(BASE) $(BUILD)

# Calibration on data simulated from the model (validation/README.md): the
# full run of 60 data sets takes about 12 minutes here. VALIDATE_ARGS replaces
# the harness's options, e.g. VALIDATE_ARGS="-n 12 --data genotypes1 --jobs 2".
VALIDATE_ARGS ?= --jobs $(JOBS)
.PHONY: validate
validate: build
	python3 validation/calibrate.py --mutloc $(BUILD)/mutloc --out $(BUILD)/validate $(VALIDATE_ARGS)

# Many regions (README, Many regions): the VCF example as a two-region study,
# run by Snakemake on this machine, into $(BUILD)/workflow-example/results/.
.PHONY: workflow-example workflow-test cluster-test
workflow-example: deps build
	mkdir -p $(BUILD)/workflow-example
	snakemake -s workflow/Snakefile --configfile workflow/config.yaml --directory $(BUILD)/workflow-example \
		--cores $(JOBS)
	@echo
	@echo "The study table: $(BUILD)/workflow-example/results/regions.tsv; its plot: regions.pdf beside it."

# The workflow tests alone (the release suite runs them too).
workflow-test: deps build
	python3 tests/workflow/workflow_test.py $(BUILD)/mutloc $(BUILD)/mutloc-prepare $(BUILD)/workflow-test

# The example through a one-node Slurm started (as root) for the test and
# stopped after it; about two minutes. CI runs it after make test.
cluster-test: deps build
	tests/workflow/cluster_test.sh $(BUILD)/mutloc $(BUILD)/mutloc-prepare $(BUILD)/cluster-test
