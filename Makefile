# User commands:
#   make run   - build mutloc (Release, -O2) and run the shipped example
#   make test  - build and run every test
BUILD ?= build
EXAMPLE ?= examples/quickstart/quickstart.txt
JOBS ?= 2

.PHONY: run test build

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp $(EXAMPLE) $(BUILD)/run/
	cd $(BUILD)/run && ../mutloc $(notdir $(EXAMPLE))
	@echo
	@echo "The outputs are in $(BUILD)/run/ ($(notdir $(EXAMPLE)).dat, .log, .sig, .hap, .hin, .hpf, .mat, .tre)."

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
