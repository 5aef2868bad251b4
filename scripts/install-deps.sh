#!/usr/bin/env bash
# Installs the Debian packages the project needs, skipping those already present.
set -euo pipefail
# openimageio-tools: OpenImageIO's CMake package refuses to load without its tools.
# clang-format-14: the formatting check (scripts/check-format.sh) wants that version.
# fonts-liberation: the editor page's panel font (Liberation Sans has the widths of the
# font the dialogs were laid out with, so their text fits its controls).
# python3: writes loomhost's manual page and completion; dpkg-dev: dpkg-shlibdeps, which
# gives the Debian package its dependencies.
packages=(
  cmake ninja-build ccache g++ make pkg-config python3 dpkg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenimageio-dev openimageio-tools libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  libstb-dev clang libclang-rt-14-dev clang-format-14
  ffmpeg
  chromium
  fonts-liberation
)
# The browser tests' driver runs on Node.js; a Node.js installed another way is kept.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

# Playwright (the browser tests' driver, pinned in tests/e2e/package-lock.json).
e2e="$(dirname "$0")/../tests/e2e"
if [ ! -d "$e2e/node_modules/playwright-core" ] ||
   [ "$e2e/package-lock.json" -nt "$e2e/node_modules/.package-lock.json" ]; then
  (cd "$e2e" && npm ci --no-audit --no-fund --loglevel=error)
fi
