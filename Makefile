# The two everyday commands:
#   make test   install what is missing, build, run the tests (also under
#               AddressSanitizer and UndefinedBehaviorSanitizer)
#   make demo   install what is missing, build, run the filter on a sample job

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps build build-sanitize test test-plain test-sanitize demo install uninstall \
        package package-test fuzz bench clean

all: build

deps:
	./scripts/install-deps

# The developers' builds treat warnings as errors; package builds do not.
build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLFERN_WERROR=ON -DQUILLFERN_PRINTER_APP=ON >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DQUILLFERN_SANITIZE=ON \
	  -DQUILLFERN_WERROR=ON -DQUILLFERN_PRINTER_APP=ON >/dev/null
	cmake --build $(SANITIZE_DIR) -j $(JOBS)

test-plain: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The sanitizer pass leaves out the load test and the printer application's
# end-to-end tests (CMakeLists.txt in tests/): they measure load and a
# server's behaviour, not memory safety, and take long under the
# sanitizers; the plain pass runs them.
test-sanitize: build-sanitize
	@echo "== sanitizer pass: CupsLoad and the PrinterApplication* tests run in the plain pass only"
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

test: test-plain test-sanitize

demo: build
	./scripts/demo $(BUILD_DIR)

# Installs the filter into CUPS's filter directory and the PPD where
# lpinfo -m lists it (DESTDIR honoured); run as root.
install: build
	cmake --install $(BUILD_DIR)

uninstall:
	cmake --build $(BUILD_DIR) --target uninstall

# The Debian packages, built by dpkg-buildpackage from debian/:
# build/packages/printer-driver-quillfern_<version>_<arch>.deb
PACKAGE_DIR ?= $(BUILD_DIR)/packages
package:
	./scripts/install-deps package
	./scripts/build-packages $(PACKAGE_DIR)

# Checks the packages with lintian, installs them on this machine, prints
# under a private scheduler, upgrades and purges them (CI does this; it
# changes the system).
package-test: build package
	./tests/package_test.sh $(PACKAGE_DIR)

# Every fuzz target for FUZZ_SECONDS seconds (make fuzz FUZZ_SECONDS=600).
fuzz:
	./scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLFERN_FUZZ=ON -DQUILLFERN_TESTS=OFF -DQUILLFERN_PRINTER_APP=OFF \
	  -DQUILLFERN_WERROR=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	./scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

# The filter's cost per page against the encoder alone (BENCH_REPS runs).
BENCH_REPS ?= 5
bench: build
	./scripts/bench $(BUILD_DIR) $(BENCH_REPS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
