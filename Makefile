# The two set-up commands: `make run` (install, build, start the window) and
# `make test` (install, build, run every test). Then `make package` (the
# Debian package, device-search_<version>_<arch>.deb in this folder), `make
# package-rpm` (the RPM, device-search-<version>-1.<arch>.rpm) and `make
# install` (into PREFIX, /usr/local by default, under DESTDIR when set; `make
# uninstall` takes out what it put there, under the DESTDIR it is given).
# Further checks: `make fuzz` (libFuzzer with clang), `make test-sanitize`
# (every test but the package's, under ASan and UBSan) and `make test-tsan`
# (the threaded parts under ThreadSanitizer). `make clean` removes every build
# folder and the packages copied here.
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
# What `make install` put where; `make uninstall` reads it (and nothing that
# cpack writes).
INSTALL_LIST ?= $(BUILD)/installed-files.txt
# WERROR=ON builds with warnings as errors (CI: .ci/run); off by default, so
# that a new compiler's new warning never stops a user's `make test`.
WERROR ?= OFF

.PHONY: run test build deps test-deps configure bench clean fuzz test-sanitize test-tsan package package-rpm install uninstall

deps:
	@bash scripts/install-deps

# What only the tests need besides (independent implementations they run).
test-deps:
	@bash scripts/install-deps test

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DKDS_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD)

# The window needs a display: the program checks that one can be reached
# and, when none can, says why and ends with status 1 (make then reports
# "Error 1" and exits with its own status, 2).
run: build
	./$(BUILD)/device-search

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure

# cpack builds the packages in $(BUILD)/package-DEB and -RPM, stamped with
# the last commit's time (SOURCE_DATE_EPOCH, unless set); they are copied here.
package: build
	bash scripts/build-package DEB $(BUILD) .

package-rpm: build
	bash scripts/build-package RPM $(BUILD) .

install: build
	bash scripts/tracked-install install $(BUILD) $(PREFIX) $(INSTALL_LIST)

uninstall:
	bash scripts/tracked-install uninstall $(INSTALL_LIST)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# Each fuzz target for FUZZ_SECONDS seconds; inputs that break a rule are
# saved under fuzz/crashes/<target>/ and make this fail.
fuzz:
	@bash scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKDS_FUZZ=ON \
	  -DKDS_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD) -j2 --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/run-fuzzers $(FUZZ_BUILD)

# Sanitizer runs: scripts/sanitize sets the runtime options and suppressions.
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
test-sanitize: test-deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DKDS_WERROR=$(WERROR) -DKDS_HARDENING=OFF \
	  "-DCMAKE_C_FLAGS=$(SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
	  "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined"
	bash scripts/sanitize asan cmake --build $(ASAN_BUILD) -j2
	cd $(ASAN_BUILD) && bash ../scripts/sanitize asan ctest --output-on-failure -LE package

TSAN_FLAGS = -fsanitize=thread -fno-omit-frame-pointer
test-tsan: test-deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DKDS_WERROR=$(WERROR) -DKDS_HARDENING=OFF \
	  "-DCMAKE_C_FLAGS=$(TSAN_FLAGS)" "-DCMAKE_CXX_FLAGS=$(TSAN_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread"
	bash scripts/sanitize tsan bash scripts/run-tsan $(TSAN_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) device-search_*.deb device-search-*.rpm
