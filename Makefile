# Entry points: `make test` (everything needed, then all tests) and `make run` (the main job).
#
# build/win32 holds the product, the 32-bit Chunkler.exe. build/win64 holds the same sources built
# for 64-bit Windows with all tests: this machine's kernel runs no 32-bit code, so Wine can only
# run 64-bit Windows programs here.
PRODUCT := build/win32
TESTBUILD := build/win64
JOBS ?= 2

.PHONY: all deps configure build test run bench clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(PRODUCT) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
	@cmake -S . -B $(TESTBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null

build: configure
	cmake --build $(PRODUCT) -j $(JOBS)
	cmake --build $(TESTBUILD) -j $(JOBS)

test: build
	cd $(TESTBUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@scripts/run-sample.sh

bench: build
	@scripts/bench.sh

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')

clean:
	-scripts/wine-setup.sh stop
	rm -rf build
