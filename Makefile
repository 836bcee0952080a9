# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run every test
# make demo  - start the virtual radio and the program wired to it (PROTOCOL=icom|kenwood|ft817)

BUILD ?= build
JOBS ?= $(shell nproc)
PROTOCOL ?= icom
CMAKE_FLAGS ?=

.PHONY: all deps build run test demo clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/catlink

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	bash scripts/demo.sh $(BUILD) $(PROTOCOL)

clean:
	rm -rf $(BUILD)
