# make run  — install what is missing, build, and play the demo story
# make test — install what is missing, build, and run every test
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
# A reader's or a packager's build must not stop at a new compiler's warning; the tests
# (and with them CI) treat every warning as an error so that none slips in.
WERROR ?= OFF

.PHONY: all deps configure build run test test-sanitize bench format format-check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVRK_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@scripts/run-demo $(BUILD)

test: WERROR = ON
test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ctest --output-on-failure -j2

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVRK_SANITIZE=address,undefined \
	  -DVRK_BUILD_BENCH=OFF -DVRK_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-asan
	@cd $(BUILD)-asan && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  ctest --output-on-failure -j2

bench: build
	@for b in $(BUILD)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf $(BUILD) $(BUILD)-asan build-release
