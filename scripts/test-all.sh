#!/usr/bin/env bash
# Installs what is missing from Debian's packages, checks that every source
# is formatted as .clang-format says, and runs every test:
# the Linux build, the same tests on the release build (the one users run)
# and under the address and undefined-behaviour sanitizers, the thread tests
# under ThreadSanitizer, the Windows cross build with its tests under Wine
# (the installer made by makensis among them), and the Debian package
# installed, used and removed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

step() { printf '\n==== %s ====\n' "$*"; }

step "Source format (.clang-format)"
scripts/check-format.sh

step "Linux build and tests"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

step "Linux release build (what users run) and tests"
cmake --preset linux-release
cmake --build --preset linux-release
ctest --preset linux-release

step "Address and undefined-behaviour sanitizers"
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

step "Thread sanitizer (thread tests)"
# Only the executables that hold tests labelled "threads".
cmake --preset tsan
cmake --build --preset tsan --target framework_thread_tests serial_thread_tests integration_tests posix_serial_tests
ctest --preset tsan

step "Windows cross build, tests under Wine"
cmake --preset windows
cmake --build --preset windows
scripts/wine-env.sh ctest --preset windows

step "Debian package: build, lintian, install, use, remove"
cmake --preset linux-release
cmake --build --preset linux-release --target tarvel tarvel-reader tarvel-receiver catalogs man-pages debian-changelog
(cd build/linux-release && cpack -G DEB)
scripts/test-deb.sh

step "Fuzz targets: build, then a short run of each"
cmake --preset fuzz
cmake --build --preset fuzz --target convert_frame_fuzzer integer_text_fuzzer ini_text_fuzzer mo_catalog_fuzzer reader_frames_fuzzer
build/fuzz/fuzz/convert_frame_fuzzer -runs=20000 -max_len=128
build/fuzz/fuzz/integer_text_fuzzer -runs=20000 -max_len=64
build/fuzz/fuzz/ini_text_fuzzer -runs=20000 -max_len=256
build/fuzz/fuzz/mo_catalog_fuzzer -runs=20000 -max_len=512
build/fuzz/fuzz/reader_frames_fuzzer -runs=20000 -max_len=512

step "all tests passed"
