# Front door: `make run` and `make test` install what they need, build and go.
JOBS       ?= $(shell nproc)
SHARED_FW  := $(abspath ../shared/firmware/dvb-demod-si2168-d60-01.fw)
FIRMWARE   ?= $(if $(wildcard $(SHARED_FW)),$(SHARED_FW),$(CURDIR)/firmware/dvb-demod-si2168-d60-01.fw)
CMAKE_ARGS := -DVANTIRO_FIRMWARE=$(FIRMWARE)
# ccache, where installed, keeps rebuilds in other checkouts of the tree cheap.
ifneq ($(shell command -v ccache),)
CMAKE_ARGS += -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
endif

# cmake --build runs make again inside this one: keep its "Entering directory"
# lines out of the terminal.
MAKEFLAGS += --no-print-directory

.PHONY: deps configure build run test test-asan test-tsan test-slow bench fuzz package clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build build -j$(JOBS)

# The main job needs the program, the simulated adapter and its band only; the
# tests, benchmarks and tools are built by the targets that use them.
run: configure
	@cmake --build build -j$(JOBS) --target vantiro dvbsim dvbsim_band
	@scripts/run-main build

# The whole suite under ASan+UBSan, then the threaded tests under TSan.
test: test-asan test-tsan

test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTIRO_SANITIZE=address $(CMAKE_ARGS) >/dev/null
	@cmake --build build-asan -j$(JOBS)
	@cd build-asan && ctest --output-on-failure -j$(JOBS) -LE slow

test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVANTIRO_SANITIZE=thread $(CMAKE_ARGS) >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	@cd build-tsan && ctest --output-on-failure -j$(JOBS) -L threads

# Tests that take many seconds each (network time limits and the like).
test-slow: build
	@cd build && ctest --output-on-failure -L slow

bench: build
	@scripts/bench build

fuzz: deps
	@FIRMWARE=$(FIRMWARE) JOBS=$(JOBS) scripts/fuzz

package: build
	@cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-fuzz
