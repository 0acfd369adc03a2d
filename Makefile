# The two set-up commands: `make run` (install, build, start the window) and
# `make test` (install, build, run every test).
BUILD ?= build

.PHONY: run test build deps configure bench clean

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

clean:
	rm -rf $(BUILD)
