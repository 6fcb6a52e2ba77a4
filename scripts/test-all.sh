#!/usr/bin/env bash
# Installs what is missing from Debian's packages and runs every test:
# the Linux build, the same tests under the address and undefined-behaviour
# sanitizers, the thread tests under ThreadSanitizer, and the Windows cross
# build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

step() { printf '\n==== %s ====\n' "$*"; }

step "Linux build and tests"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

step "Address and undefined-behaviour sanitizers"
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

step "Thread sanitizer (thread tests)"
# Only the executables that hold tests labelled "threads".
cmake --preset tsan
cmake --build --preset tsan --target framework_thread_tests serial_thread_tests integration_tests
ctest --preset tsan

step "Windows cross build, tests under Wine"
cmake --preset windows
cmake --build --preset windows
scripts/wine-env.sh ctest --preset windows

step "Fuzz targets: build, then a short run of each"
cmake --preset fuzz
cmake --build --preset fuzz --target convert_frame_fuzzer integer_text_fuzzer reader_frames_fuzzer
build/fuzz/fuzz/convert_frame_fuzzer -runs=20000 -max_len=128
build/fuzz/fuzz/integer_text_fuzzer -runs=20000 -max_len=64
build/fuzz/fuzz/reader_frames_fuzzer -runs=20000 -max_len=512

step "all tests passed"
