#!/usr/bin/env bash
# The multithreaded parts under ThreadSanitizer: the tests labelled tsan, which
# LOOM_TSAN_TESTS in tests/CMakeLists.txt lists.
set -euo pipefail
BUILD=$(realpath -m "${1:-build-tsan}")
cd "$(dirname "$0")/.."
cmake --preset tsan -B "$BUILD" ${LOOM_CMAKE_EXTRA:-} >/dev/null
# tsan_programs: the tests labelled tsan and the plug-ins they load.
cmake --build "$BUILD" -j "$(nproc)" --target tsan_programs
cd "$BUILD" && ctest --output-on-failure -L tsan -j "$(nproc)"
