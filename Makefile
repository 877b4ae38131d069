# make run  — install what is missing, build, and play the demo story
# make test — install what is missing, build, and run every test
# make package — build the Debian package (BUILD/vrk3_VERSION_ARCH.deb)
# make fuzz — build the fuzz targets with clang and run each for FUZZ_SECONDS (default 60)
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-sanitize fuzz bench format format-check clean package screenshots

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@scripts/run-demo $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ctest --output-on-failure -j2

package: build
	@cmake --build $(BUILD) --target package
	@ls -l $(BUILD)/*.deb

# Pictures of the window for the README, taken under a virtual X server.
screenshots: build
	@scripts/take-screenshots $(BUILD)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVRK_SANITIZE=address,undefined \
	  -DVRK_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(BUILD)-asan
	@cd $(BUILD)-asan && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  ctest --output-on-failure -j2

fuzz: deps
	@FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) FUZZ_BUILD=$(BUILD)-fuzz scripts/fuzz

bench: build
	@for b in $(BUILD)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz
