# The project's commands. Each first installs what is missing (scripts/deps.sh).
#   make run    build the program and the demo game only, and run it (without a
#               display: a short scripted tour under Xvfb that ends by itself;
#               VQ_RUN_SECONDS, default 120, is the most it may take)
#   make test   build optimised with AddressSanitizer + UBSan, warnings as errors, and run every test
#   make build  plain build into build/ (game folder: build/game/)
#   make bench  build and run the benchmark programs in bench/ (under Xvfb without a display)
#   make fuzz   build the fuzz targets with clang's libFuzzer (build/libfuzzer/)
#   make tsan   build with ThreadSanitizer and run every test (not part of make test)

JOBS ?= $(shell nproc)
CMAKE_GEN = -G Ninja

.PHONY: deps build run test tsan bench fuzz clean

deps:
	@scripts/deps.sh

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

run: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target vq_game
	@scripts/run.sh build/game

# Optimised (-O2) like the build users run, but with the debug builds' own
# checks kept (no NDEBUG), under the sanitizers; every warning is an error.
test: deps
	@cmake -S . -B build/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
	  -DVQ_SANITIZE=ON -DVQ_WERROR=ON >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

# The threads' own checks: the same tests under ThreadSanitizer (gl ones under
# Xvfb). scripts/tsan.supp names only the Mesa driver.
tsan: deps
	@cmake -S . -B build/tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_TSAN=ON >/dev/null
	@cmake --build build/tsan -j $(JOBS)
	@cd build/tsan && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B build/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVQ_BENCH=ON -DVQ_TESTS=OFF >/dev/null
	@cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/bench_*; do [ -x "$$b" ] || continue; \
	  if [ -n "$${DISPLAY:-}" ]; then "$$b"; \
	  else xvfb-run -a -s "-screen 0 1920x1080x24" "$$b"; fi; done; true

# A folder of its own: build/fuzz is the plain build's fuzz/ subfolder.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build/libfuzzer $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVQ_SANITIZE=ON -DVQ_LIBFUZZER=ON >/dev/null
	@cmake --build build/libfuzzer -j $(JOBS)
	@echo "fuzz targets: build/libfuzzer/fuzz/fuzz_*  (run one with its corpus folder, e.g. fuzz/corpus/<format>)"

clean:
	rm -rf build
