#!/bin/sh
# Installs the build tree into a scratch prefix and builds against what was
# installed, as an outside programmer would: the C examples through
# pkg-config, and a small program and the C++ greeter through the CMake
# package.
#   install_package_test.sh BUILD_DIR SOURCE_DIR RUN_PROGRAMS(0|1)
set -eu
build=$1
source=$2
run=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" > /dev/null
for file in include/orbilo/sdk.h lib/liborbilo_sdk.so lib/liborbilo_sdk.a \
            lib/pkgconfig/orbilo-sdk.pc lib/cmake/OrbiloSdk/OrbiloSdkConfig.cmake; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
soname=$(readelf -d "$prefix/lib/liborbilo_sdk.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "liborbilo_sdk.so.1" ] || { echo "soname is '$soname'"; exit 1; }

# A sanitized build's libraries need the sanitizer runtimes in every program
# that links them; the layout checks above are what that build can prove.
[ "$run" = 1 ] || exit 0

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# The C examples each build through pkg-config and, run without arguments,
# print their usage and exit 2.
for example in hello-bot greeter own-loop; do
  cc -std=c99 -pedantic-errors -Wall -Wextra -Werror -o "$scratch/$example" \
    "$source/examples/$example.c" $(pkg-config --cflags --libs orbilo-sdk)
  status=0
  LD_LIBRARY_PATH=$prefix/lib "$scratch/$example" > "$scratch/out" 2>&1 || status=$?
  [ "$status" = 2 ] || { echo "$example without arguments exited $status"; exit 1; }
  grep -q "^usage: $example" "$scratch/out" || { cat "$scratch/out"; exit 1; }
done

# The static library links on its own with --static.
cc -std=c99 -o "$scratch/hello-bot-static" "$source/examples/hello-bot.c" \
  $(pkg-config --cflags orbilo-sdk) "$prefix/lib/liborbilo_sdk.a" \
  $(pkg-config --static --libs-only-l orbilo-sdk | sed 's/-lorbilo_sdk//')
"$scratch/hello-bot-static" > /dev/null 2>&1 || [ $? = 2 ]

mkdir "$scratch/consumer"
cat > "$scratch/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C CXX)
find_package(OrbiloSdk REQUIRED)
add_executable(consumer main.c)
target_link_libraries(consumer PRIVATE OrbiloSdk::orbilo_sdk)
add_executable(greeter-cpp greeter.cpp)
target_link_libraries(greeter-cpp PRIVATE OrbiloSdk::orbilo_sdk)
set_target_properties(greeter-cpp PROPERTIES CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON)
target_compile_options(greeter-cpp PRIVATE -Wall -Wextra -Werror)
CMAKE
cp "$source/examples/greeter.cpp" "$scratch/consumer/"
cat > "$scratch/consumer/main.c" <<'C'
#include <orbilo/sdk.h>
#include <string.h>
int main(void) { return strcmp(api_result_text(RC_NOT_INITIALIZED), "not initialized") != 0; }
C
cmake -S "$scratch/consumer" -B "$scratch/consumer/build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$scratch/consumer/build" > /dev/null
"$scratch/consumer/build/consumer"
status=0
LD_LIBRARY_PATH=$prefix/lib "$scratch/consumer/build/greeter-cpp" > "$scratch/out" 2>&1 || status=$?
[ "$status" = 2 ] || { echo "greeter-cpp without arguments exited $status"; exit 1; }
grep -q "^usage: greeter-cpp" "$scratch/out" || { cat "$scratch/out"; exit 1; }
echo "installed package builds and runs"
