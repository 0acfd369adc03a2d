# The two set-up commands: `make run` (install, build, start the window) and
# `make test` (install, build, run every test). Further checks: `make fuzz`
# (libFuzzer with clang), `make test-sanitize` (every test under ASan and
# UBSan) and `make test-tsan` (the threaded parts under ThreadSanitizer).
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 60

.PHONY: run test build deps configure bench clean fuzz test-sanitize test-tsan

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "device-search: no display found (set DISPLAY, or use 'device-search search' without a window)"; \
	  exit 1; \
	fi
	./$(BUILD)/device-search

test: build
	cd $(BUILD) && ctest --output-on-failure

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# Each fuzz target for FUZZ_SECONDS seconds; inputs that break a rule are
# saved under fuzz/crashes/<target>/ and make this fail.
fuzz:
	@bash scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKDS_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j2 --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/run-fuzzers $(FUZZ_BUILD)

# Sanitizer runs: scripts/sanitize sets the runtime options and suppressions.
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja "-DCMAKE_C_FLAGS=$(SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
	  "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined"
	bash scripts/sanitize asan cmake --build $(ASAN_BUILD) -j2
	cd $(ASAN_BUILD) && bash ../scripts/sanitize asan ctest --output-on-failure

TSAN_FLAGS = -fsanitize=thread -fno-omit-frame-pointer
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja "-DCMAKE_C_FLAGS=$(TSAN_FLAGS)" "-DCMAKE_CXX_FLAGS=$(TSAN_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread"
	bash scripts/sanitize tsan bash scripts/run-tsan $(TSAN_BUILD)

clean:
	rm -rf $(BUILD)
