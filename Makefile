# Orbilo: every target installs what it needs, configures and builds with
# CMake and Ninja. Programs land in build/bin/.
BUILD       := build
ASAN_BUILD  := build-asan
JOBS        ?= $(shell nproc)
PACKAGES    := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
               libbenchmark-dev libssl-dev

.PHONY: all deps build test test-plain test-sanitized bench clean

all: build

# Installs the Debian packages that are missing (as root), or says what to run.
deps:
	@missing=""; for p in $(PACKAGES); do \
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

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

test: test-plain test-sanitized

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitized: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBILO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bin/orbilo_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
