# Entry points: `make test` (everything needed, then all tests) and `make run` (the main job).
#
# build/win32 holds the product, the 32-bit Chunkler.exe. Where this machine executes 32-bit code
# (scripts/probe-i386.sh), the tests are built there too and test, run and bench use the product.
# Elsewhere Wine runs only 64-bit Windows programs: the same sources with all tests are built for
# 64-bit Windows in build/win64, and those use that build.
PRODUCT := build/win32
PROBE_I386 := $(shell scripts/probe-i386.sh 2>&1)
ifeq ($(.SHELLSTATUS),0)
TESTBUILD := $(PRODUCT)
USING := using $(TESTBUILD), the 32-bit product: a 32-bit probe program ran on this machine
else
TESTBUILD := build/win64
USING := using $(TESTBUILD), the 64-bit build: a 32-bit probe program did not run on this machine ($(PROBE_I386))
endif
JOBS ?= 2

.PHONY: all deps configure build test run bench screenshots clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --no-warn-unused-cli -S . -B $(PRODUCT) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=$(if $(filter $(PRODUCT),$(TESTBUILD)),ON,OFF) >/dev/null
ifneq ($(TESTBUILD),$(PRODUCT))
	@cmake --no-warn-unused-cli -S . -B $(TESTBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
endif

build: configure
	cmake --build $(PRODUCT) -j $(JOBS)
ifneq ($(TESTBUILD),$(PRODUCT))
	cmake --build $(TESTBUILD) -j $(JOBS)
endif

test: build
	@echo "make test: $(USING)"
	cd $(TESTBUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@echo "make run: $(USING)"
	@CHUNKLER_RUN_EXE=$(CURDIR)/$(TESTBUILD)/Chunkler.exe scripts/run-sample.sh

bench: build
	@echo "make bench: $(USING)"
	@BENCH_BUILD=$(TESTBUILD) scripts/bench.sh

# docs/window-en.png and docs/window-de.png for the README.
screenshots: build
	@echo "make screenshots: $(USING)"
	@CHUNKLER_RUN_EXE=$(CURDIR)/$(TESTBUILD)/Chunkler.exe scripts/screenshots.sh

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')

clean:
	-scripts/wine-setup.sh stop
	rm -rf build
