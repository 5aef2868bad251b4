#!/usr/bin/env bash
# The multithreaded parts under ThreadSanitizer: the tests labelled tsan (rendering on
# several threads, the noise tables' first use from several threads at once, and the
# editor's server handing requests from its worker threads to the window thread, and its
# previews drawn on a thread of their own, and frei0r effects run side by side).
set -euo pipefail
BUILD=$(realpath -m "${1:-build-tsan}")
cd "$(dirname "$0")/.."
cmake --preset tsan -B "$BUILD" ${LOOM_CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target app_test noise_test nimbra fervix lumidot voltrane dioptrix web_server_test preview_test frei0r_threads_test
cd "$BUILD" && ctest --output-on-failure -L tsan -j "$(nproc)"
