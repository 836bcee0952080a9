# make run      - install what is missing, build the program, start it
# make test     - install what is missing, build everything, run every test
# make demo     - start the virtual radio and the program wired to it (PROTOCOL=icom|kenwood|ft817)
# make package  - build the Debian package, build/catlink_VERSION_ARCH.deb

BUILD ?= build
JOBS ?= $(shell nproc)
PROTOCOL ?= icom
CMAKE_FLAGS ?=
CONFIGURE = cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

.PHONY: all deps deps-run build run test demo package clean

all: build

deps:
	@bash scripts/install-deps.sh test

deps-run:
	@bash scripts/install-deps.sh run

# run and demo build only what they start; the tests and benchmarks wait for make build or test.
run: deps-run
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target catlink
	./$(BUILD)/catlink

demo: deps-run
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target catlink radiosim
	bash scripts/demo.sh $(BUILD) $(PROTOCOL)

build: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

# The package holds the program alone: it is built apart, without the tests and benchmarks.
package: deps
	cmake -S . -B $(BUILD)-package -G Ninja -DCAT_TESTS=OFF -DCAT_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-package -j $(JOBS) --target package
	mkdir -p $(BUILD) && cp $(BUILD)-package/catlink_*.deb $(BUILD)/

clean:
	rm -rf $(BUILD) $(BUILD)-package
