#!/usr/bin/env bash
# The multithreaded parts under ThreadSanitizer: rendering on several threads, the noise
# tables' first use from several threads at once, and the editor's server handing requests
# from its worker threads to the window thread.
set -euo pipefail
BUILD=${1:-build-tsan}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOOM_SANITIZE=thread \
  -DLOOM_BUILD_BENCH=OFF ${LOOM_CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target app_test noise_test nimbra dioptrix web_server_test
cd "$BUILD" && ctest --output-on-failure -R "RenderTest|Noise|WebServer" -j "$(nproc)"
