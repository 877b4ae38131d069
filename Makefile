# make run  — install what is missing, build, and play the demo story
# make test — install what is missing, build, and run every test
# make package — build the Debian packages from debian/ (BUILD/packages/*.deb), checked by lintian
# make fuzz — build the fuzz targets with clang and run each for FUZZ_SECONDS (default 60)
# make test-sanitize — the tests under ASan and UBSan (clang; the fuzz targets are built beside them)
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
# A reader's or a packager's build must not stop at a new compiler's warning; the tests
# (and with them CI) treat every warning as an error so that none slips in.
WERROR ?= OFF

.PHONY: all deps configure build run test test-sanitize fuzz bench format format-check clean package screenshots \
  web web-players test-web test-web-engines test-web-full serve

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

# dpkg-buildpackage in a copy of the sources: a clean build of what the packages ship, its
# tests, then lintian (scripts/build-packages).
package: deps
	@scripts/build-packages $(BUILD)/packages

# Pictures of the window for the README, taken under a virtual X server.
screenshots: build
	@scripts/take-screenshots $(BUILD)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (CI leaves out the
# install and package tests there with SANITIZE_CTEST_FLAGS="-LE package": they ran in make test).
# clang builds them unoptimised, warnings as errors: the debug build beside make test's optimised
# one. The libraries also carry libFuzzer's coverage hooks (-DVRK_FUZZ=ON, which the tests do
# not notice) and the fuzz targets are built in the same tree, so that
# make fuzz FUZZ_BUILD=$(BUILD)-asan needs no build of its own. The sanitizers' reports need
# only lines from the debug information, which then costs a fraction of its full build time.
SANITIZE_CTEST_FLAGS ?=
test-sanitize: deps
	@cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only \
	  -DCMAKE_CXX_COMPILER=clang++ -DVRK_FUZZ=ON -DVRK_BUILD_BENCH=OFF -DVRK_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-asan
	@cd $(BUILD)-asan && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  ctest --output-on-failure -j2 $(SANITIZE_CTEST_FLAGS)

# Its own tree by default, with only what the fuzz targets need; FUZZ_JOBS targets at once.
FUZZ_BUILD ?= $(BUILD)-fuzz
fuzz: deps
	@FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) FUZZ_BUILD=$(FUZZ_BUILD) scripts/fuzz

# The WebAssembly player in web/dist/ (needs scripts/install-deps-web, which it runs).
web:
	@scripts/build-web

# The reading page at http://127.0.0.1:8000/ (static files, gzipped where the browser takes it;
# any HTTP server does). SERVE_DIR serves another folder, e.g. a story vrkc --web published.
SERVE_DIR ?= web/dist
serve: web
	@scripts/serve-page --port 8000 $(SERVE_DIR)

# Every golden case and WEB_STORIES generated stories through the native player and the
# WebAssembly one: the expected transcripts, and the same transcripts and slot bytes from both;
# then the page's entry against the native player on the demo, and the page in each browser engine
# installed (VRK_BROWSERS=chromium,firefox,webkit chooses), its first page compared with the
# window's line by line and pixel by pixel.
WEB_STORIES ?= 20
BROWSER_TESTS = VRK3_NATIVE=$(BUILD)/src/main/vrk3 VRKC=$(BUILD)/tools/vrkc/vrkc VRK_DEMO_DIR=$(BUILD)/samples/demo \
  VRK_PAGE_SNAPSHOT=$(BUILD)/tests/web/page_snapshot node --test tests/web/*.test.mjs
test-web: WERROR = ON
test-web: web-players
	@$(BROWSER_TESTS)

web-players: build web
	@tests/golden/run_golden.sh $(BUILD)/tools/vrkc/vrkc web/dist/vrk3.mjs tests/golden/*/
	@rm -rf $(BUILD)/web-stories
	@tests/web/generate_stories.py $(BUILD)/web-stories $(WEB_STORIES)
	@tests/web/compare_players.sh $(BUILD)/tools/vrkc/vrkc $(BUILD)/src/main/vrk3 web/dist/vrk3.mjs \
	  tests/golden/*/ $(BUILD)/web-stories/*/

# make test-web with the browser tests in Chromium, Firefox and WebKitGTK, one engine after the
# other, each engine's wall time printed after its run (CI runs Chromium's only).
test-web-engines: WERROR = ON
test-web-engines: web-players
	@failed=; for engine in chromium firefox webkit; do \
	  start=$$(date +%s); \
	  VRK_BROWSERS=$$engine $(BROWSER_TESTS) || failed="$$failed $$engine"; \
	  echo "test-web-engines: $$engine took $$(($$(date +%s) - start)) s"; \
	done; \
	[ -z "$$failed" ] || { echo "test-web-engines: failures in$$failed" >&2; exit 1; }

# The web comparison over ten times as many generated stories.
test-web-full:
	@$(MAKE) test-web WEB_STORIES=200

bench: build
	@for b in $(BUILD)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done

# C++ by clang-format; the page's JavaScript and CSS by Prettier and ESLint, as web/package.json
# pins them (scripts/install-deps-web installs them into web/node_modules).
format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
	@cd web && npm run --silent format

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
	@[ -d web/node_modules/prettier ] || scripts/install-deps-web
	@cd web && npm run --silent format:check && npm run --silent lint

clean:
	@rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz build-release build-web web/dist
