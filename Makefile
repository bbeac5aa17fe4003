# Orbilo: every target installs what it needs, configures and builds with
# CMake and Ninja. Programs land in build/bin/.
BUILD       := build
ASAN_BUILD  := build-asan
FUZZ_BUILD  := build-fuzz
# The library's receive paths, the bot's settings file, location text and
# version answer readers, and orbilo-server's receive paths.
FUZZ_TARGETS := universe_fuzz world_fuzz settings_fuzz location_fuzz version_fuzz server_fuzz
# Each input is bounded in time and size.
FUZZ_FLAGS  := -max_len=4096 -timeout=10 -rss_limit_mb=2048
JOBS        ?= $(shell nproc)
PACKAGES    := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
               libbenchmark-dev libssl-dev clang-14 libclang-rt-14-dev qt6-base-dev locales \
               abigail-tools python3
# A decimal-comma locale, under which the tests read numbers from text.
TEST_LOCALE := de_DE.UTF-8

.PHONY: abi-baseline all deps build demo screenshots test test-plain test-sanitized test-fuzz fuzz fuzz-build bench clean \
        package test-package

all: build

# Installs those of the Debian packages $(1) that are missing (as root), or
# says what to run.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -ne 0 ]; then \
	    echo "Missing packages. Run as root: apt-get update && apt-get install -y$$missing"; exit 1; \
	  fi; \
	  echo "Installing:$$missing"; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  apt-get update -q && apt-get install -y -q --no-install-recommends $$missing || exit 1; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))
	@if ! locale -a 2>/dev/null | grep -qix "$$(echo $(TEST_LOCALE) | sed 's/UTF-8/utf8/')"; then \
	  if [ "$$(id -u)" -ne 0 ]; then \
	    echo "The locale $(TEST_LOCALE) is missing; its tests are skipped. As root: locale-gen $(TEST_LOCALE)"; \
	  else \
	    echo "Generating the locale $(TEST_LOCALE)"; \
	    sed -i 's/^# *\($(TEST_LOCALE) UTF-8\)/\1/' /etc/locale.gen; \
	    grep -q '^$(TEST_LOCALE) UTF-8' /etc/locale.gen || echo '$(TEST_LOCALE) UTF-8' >> /etc/locale.gen; \
	    locale-gen > /dev/null || exit 1; \
	  fi; \
	fi

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# The bot end to end: orbilo-server on loopback with a crowd, and the bot in
# its world (DEMO_SECONDS=N ends it after N seconds).
demo: build
	@sh tools/demo.sh

test: test-plain test-package test-sanitized test-fuzz

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitized: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBILO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The Debian packages, from a Release tree of their own with the prefix /usr
# that builds only what they install, into build/packages/. dpkg-dev brings
# dpkg-shlibdeps, which computes the packages' library dependencies.
PACKAGE_BUILD    := $(BUILD)/package-tree
PACKAGE_DIR      := $(BUILD)/packages
PACKAGE_PACKAGES := dpkg-dev file binutils lintian systemd
package: deps
	@command -v dpkg-deb > /dev/null || \
	  { echo "make package builds Debian packages with dpkg-deb, which is missing: install dpkg-dev"; exit 1; }
	$(call install_missing,$(PACKAGE_PACKAGES))
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DORBILO_TESTS=OFF -DORBILO_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
	  "-DCMAKE_C_FLAGS=-fstack-protector-strong" "-DCMAKE_CXX_FLAGS=-fstack-protector-strong" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now" "-DCMAKE_SHARED_LINKER_FLAGS=-Wl,-z,relro,-z,now"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target orbilo_packaged
	rm -rf $(PACKAGE_DIR) && mkdir -p $(PACKAGE_DIR)
	cd $(PACKAGE_BUILD) && cpack -D CPACK_OUTPUT_FILE_PREFIX=$(abspath $(PACKAGE_DIR)) > cpack.log 2>&1 \
	  || { cat cpack.log; exit 1; }
	@ls $(PACKAGE_DIR)

# The packages' contents, dependencies, lintian's verdict and the service
# units, read from the .deb files without installing them.
test-package: package
	sh tests/package_check.sh $(PACKAGE_DIR) $(PACKAGE_BUILD)

# The fuzz targets, built with clang, libFuzzer, ASan and UBSan in their own tree.
fuzz-build: deps
	cmake -S tests/fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# FUZZ_SECONDS a target with the random seed FUZZ_SEED (empty: a new seed each
# run): 20 s with seed 1 for make test (two minutes for the six), 5 minutes
# with a new seed for make fuzz. Any crash, sanitizer report, leak or broken
# invariant fails.
FUZZ_SECONDS ?= 20
FUZZ_SEED   ?= 1
fuzz: FUZZ_SECONDS = 300
fuzz: FUZZ_SEED =
test-fuzz fuzz: fuzz-build
	@for target in $(FUZZ_TARGETS); do \
	  corpus=$${target%_fuzz}; mkdir -p $(FUZZ_BUILD)/corpus/$$corpus; \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/bin/$$target $(FUZZ_FLAGS) $(if $(FUZZ_SEED),-seed=$(FUZZ_SEED)) \
	    -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    $(FUZZ_BUILD)/corpus/$$corpus tests/fuzz/corpus/$$corpus > $(FUZZ_BUILD)/$$target.log 2>&1 \
	    || { tail -50 $(FUZZ_BUILD)/$$target.log; exit 1; }; \
	  grep -E "DONE|stat::" $(FUZZ_BUILD)/$$target.log || true; \
	done

bench: build
	$(BUILD)/bin/orbilo_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/orbilo-ui-bench

# The window's pages as PNG files, rendered on the offscreen platform.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/orbilo-screenshots $(BUILD)/screenshots
	@ls $(BUILD)/screenshots

# Writes the shared object's ABI as the new baseline, for a deliberate change.
abi-baseline: build
	sh tests/abi_check.sh $(BUILD)/lib/liborbilo_sdk.so.1 sdk/sdk.h sdk/abi/liborbilo_sdk.so.1.abi --update

# The library's reference manual, from its public headers, into build/docs/
# (index.html). Doxygen is needed only here, so it is not among PACKAGES and
# make test goes without it. Any warning fails the target.
DOC_PACKAGES := doxygen
.PHONY: docs
docs:
	$(call install_missing,$(DOC_PACKAGES))
	@rm -rf $(BUILD)/docs && mkdir -p $(BUILD)/docs
	doxygen docs/Doxyfile
	@echo "The reference is $(BUILD)/docs/index.html"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
