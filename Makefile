# Two commands: `make run` and `make test`. See README.md.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
RUN_HOME ?= $(BUILD)/run-home
PREFIX ?= /usr/local

.PHONY: all deps build build-asan run test test-plain test-asan bench fuzz install deb check-deps clean

all: build

deps:
	./tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

test: test-plain test-asan

run: build
	./tools/run-navigator.sh $(BUILD) $(RUN_HOME) --demo

bench: build
	./tools/run-benchmarks.sh $(BUILD)

# Every fuzz target for FUZZ_SECONDS (default 60) each; see tools/run-fuzz.sh.
fuzz: deps
	JOBS=$(JOBS) ./tools/run-fuzz.sh $(FUZZ_BUILD)

# `make install PREFIX=/opt/tessaro`; DESTDIR=... stages the files below it.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the build in $(BUILD) (tessaro_VERSION_amd64.deb there).
deb: build
	cd $(BUILD) && cpack -G DEB

# Every package the configured build found is installed by tools/install-deps.sh.
check-deps: build
	./tools/check-deps.py $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
