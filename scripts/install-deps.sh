#!/usr/bin/env bash
# Installs the Debian packages the project needs, skipping those already present.
#
#   scripts/install-deps.sh [build|package|all]
#
# build: what building and running loomhost, its runtime and the plug-ins needs (make demo);
# package: also what the Debian package's build needs (its Python module, dpkg-shlibdeps:
# make deb);
# all (the default): also what the tests, benchmarks and fuzz targets need (make test).
set -euo pipefail
profile=${1:-all}
case "$profile" in
  build | package | all) ;;
  -h | --help)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "install-deps.sh: unknown profile '$profile' (build, package or all)" >&2
    exit 2
    ;;
esac
# openimageio-tools: OpenImageIO's CMake package refuses to load without its tools.
# libsleef-dev: vector sine, cosine, arc tangent and hypot in double for the textures'
# batch path (full-range argument reduction, 1 ulp, forms without fused multiply-add that
# agree bit for bit across instruction sets).
# libav*-dev: the anaglyph command reads and writes video through FFmpeg's libraries.
# libopencv-{core,imgproc,features2d}-dev: the anaglyph command aligns stereo pairs with
# OpenCV's features, matching and resampling (the split packages: libopencv-dev would pull
# in GUI toolkits).
# fonts-liberation: the editor page's panel font (Liberation Sans has the widths of the
# font the dialogs were laid out with, so their text fits its controls).
# python3: writes loomhost's manual page and completion; dpkg-dev: dpkg-shlibdeps, which
# gives the Debian package its dependencies.
# libpng-dev: PNG files read at their own depth straight into the caller's samples.
# libjpeg-dev (libjpeg62-turbo-dev): JPEG photos read without the image library's start-up.
packages=(
  cmake ninja-build ccache g++ make pkg-config python3
  libopenimageio-dev libpng-dev libjpeg-dev openimageio-tools libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  fonts-liberation
  libsleef-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-features2d-dev
)
# clang-format-14: the formatting check (scripts/check-format.sh) wants that version.
# ffmpeg and libstb-dev: peers the benchmarks compare with; time: compare_ffmpeg.sh
# measures whole programs with it.
# gegl, libgegl-dev, frei0r-plugins-dev, melt: the plug-ins for GIMP's image engine and
# for frei0r hosts are built where their headers are (the build skips them otherwise), and
# tested through the gegl program, FFmpeg and melt.
# python3-*, pybind11-dev: the Python module loomwork, its tests (pytest, NumPy) and its
# cluster renders (dask.distributed). blender: the add-on's headless tests (Debian's build
# runs the system Python the module is built for).
# The Debian package's build: its Python module and dpkg-shlibdeps.
package_packages=(dpkg-dev python3-dev pybind11-dev python3-pybind11)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  libstb-dev clang libclang-rt-14-dev clang-format-14
  ffmpeg time
  gegl libgegl-dev frei0r-plugins-dev melt
  chromium
  python3-numpy python3-pytest python3-distributed
  blender
)
if [ "$profile" != build ]; then
  packages+=("${package_packages[@]}")
fi
if [ "$profile" = all ]; then
  packages+=("${test_packages[@]}")
  # The browser tests' driver runs on Node.js; a Node.js installed another way is kept.
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
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

[ "$profile" = all ] || exit 0
# Playwright (the browser tests' driver, pinned in tests/e2e/package-lock.json).
e2e="$(dirname "$0")/../tests/e2e"
if [ ! -d "$e2e/node_modules/playwright-core" ] ||
   [ "$e2e/package-lock.json" -nt "$e2e/node_modules/.package-lock.json" ]; then
  (cd "$e2e" && npm ci --no-audit --no-fund --loglevel=error)
fi
