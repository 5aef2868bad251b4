#!/usr/bin/env bash
# scripts/check-install.sh [BUILD]
# Installs the build folder BUILD (default build-release) into a temporary prefix, moves
# the prefix elsewhere (an install must not point back at the build or its first place),
# builds examples/texture-plugin against it as a third party would, drops the plug-in into
# the user's plug-in folder and runs the installed loomhost without flags: list, eval,
# render and panel, with the shipped plug-ins and the example together; then the GEGL
# module and a frei0r effect from the installed tree through gegl and FFmpeg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build-release}" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/loom-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "check-install: $*" >&2
  exit 1
}
expect_line() {  # expect_line FILE PATTERN WHAT
  grep -q -- "$2" "$1" || { cat "$1" >&2; fail "$3: no line matching '$2'"; }
}

cmake --install "$build" --prefix "$tmp/first" >"$tmp/install.log" ||
  { cat "$tmp/install.log" >&2; fail "cmake --install $build failed"; }
mv "$tmp/first" "$tmp/prefix"
prefix=$tmp/prefix
host=$prefix/bin/loomhost
[ -x "$host" ] || fail "$host was not installed"
for f in "$host" "$prefix"/lib*/libloomhost.so "$prefix"/lib*/loomwork/plugins/*.so; do
  if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -q -e "$build" -e "$tmp/first"; then
    fail "$f: its library path names the build or install folder"
  fi
done

# The user's folder, as the program finds it without flags; the example installs itself
# there, optimised although no build type is given.
unset LOOMHOST_PLUGINS
export XDG_DATA_HOME=$tmp/data
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root/examples/texture-plugin" -B "$tmp/example" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" \
  ${CXX:+-DCMAKE_CXX_COMPILER="$CXX"} >"$tmp/example.log" 2>&1 ||
  { cat "$tmp/example.log" >&2; fail "configuring the example against $prefix failed"; }
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$tmp/example/CMakeCache.txt" ||
  fail "the example is not optimised when no build type is given"
cmake --build "$tmp/example" >>"$tmp/example.log" 2>&1 ||
  { cat "$tmp/example.log" >&2; fail "building the example failed"; }
cmake --install "$tmp/example" >>"$tmp/example.log" 2>&1 ||
  { cat "$tmp/example.log" >&2; fail "installing the example failed"; }
[ -f "$XDG_DATA_HOME/loomwork/plugins/weft.so" ] ||
  fail "the example did not install into $XDG_DATA_HOME/loomwork/plugins"
cd "$tmp"

"$host" list >list.txt 2>list.err
expect_line list.txt "Example · Weft 1.0" "list"
expect_line list.txt "Loomwork · Nimbra 1.0" "list"
expect_line list.txt "$prefix/lib.*/loomwork/plugins/nimbra.so" "list"
[ ! -s list.err ] || { cat list.err >&2; fail "list warned"; }

# The Python package: found by the interpreter without PYTHONPATH when the prefix is the
# user's base (as ~/.local is), and searching plug-ins as loomhost does (the user's weft).
if compgen -G "$prefix/lib/python3*/site-packages/loomwork" >/dev/null; then
  PYTHONUSERBASE=$prefix /usr/bin/python3 -c '
import loomwork, sys
assert loomwork.__file__.startswith(sys.argv[1]), loomwork.__file__
assert loomwork.Texture("weft").render(4, 4).shape == (4, 4, 4)
' "$prefix" >python.log 2>&1 || { cat python.log >&2; fail "python3 does not find loomwork or weft"; }
fi

# 8 threads: warp where only a warp thread covers, weft where only a weft thread does,
# the two colours' mean in a gap, and at crossings warp in cell (0,0) and weft in (1,0).
"$host" eval weft 0.07,0.01 0.01,0.07 0.01,0.01 0.06,0.06 0.19,0.06 >eval.txt
warp='0.150000006 0.200000003 0.449999988 1'
weft='0.899999976 0.800000012 0.550000012 1'
printf '%s\n' "$warp" "$weft" '0.524999976 0.5 0.5 1' "$warp" "$weft" >want.txt
diff want.txt eval.txt >&2 || fail "eval weft answered other colours"
"$host" eval nimbra 0,0 >nimbra.txt
expect_line nimbra.txt '^0.425875038 0.425875038 1 1$' "eval nimbra"

"$host" render weft -o weft.png --size 64x48 --preset Basket
"$host" render nimbra -o nimbra.png --size 32x32 --sphere
for f in weft.png nimbra.png; do
  [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$f is not a PNG"
done

"$host" panel weft --click Linen >panel.txt
expect_line panel.txt 'rollup "Weft Setup"' "panel"
expect_line panel.txt '2006 CustEdit *"40.0"' "panel after Linen"

# A second copy of a class from a folder searched later is reported and skipped.
LOOMHOST_PLUGINS=$tmp/example/plugins "$host" list >dup.txt 2>dup.err
expect_line dup.err "weft.so: class ID of 'Example · Weft 1.0' is already taken" "duplicate"
[ "$(grep -c 'Example · Weft' dup.txt)" = 1 ] || fail "the duplicate class was listed twice"

# The plug-ins for other programs, from the installed files (when the build made them):
# the GEGL module through the gegl program and a frei0r source through FFmpeg, each giving
# the installed loomhost's pixels. The installed core finds the installed plug-ins itself.
same_pixels() {  # same_pixels A B WHAT
  ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba64le -y "$1.raw" &&
    ffmpeg -nostdin -v error -i "$2" -f rawvideo -pix_fmt rgba64le -y "$2.raw" &&
    cmp -s "$1.raw" "$2.raw" || fail "$3: $1 and $2 hold different pixels"
}
gegl_module=$(find "$prefix" -path '*/gegl-0.4/loomwork.so' | head -n 1)
if [ -n "$gegl_module" ] && command -v gegl >/dev/null && command -v ffmpeg >/dev/null; then
  gegl_own=$(pkg-config --variable=pluginsdir gegl-0.4 2>/dev/null || true)
  GEGL_PATH="$(dirname "$gegl_module")${gegl_own:+:$gegl_own}" \
    gegl -o gegl.png -- loomwork:nimbra width=32 height=16 density=1.1 >/dev/null 2>gegl.err ||
    { cat gegl.err >&2; fail "gegl with the installed module"; }
  "$host" render nimbra -o nimbra16.png --size 32x16 --bits 16 --set Density=1.1
  same_pixels gegl.png nimbra16.png "loomwork:nimbra through gegl"
fi
frei0r_dir=$(find "$prefix" -type d -name frei0r-1 | head -n 1)
if [ -n "$frei0r_dir" ] && command -v ffmpeg >/dev/null; then
  FREI0R_PATH=$frei0r_dir ffmpeg -nostdin -v error -y -f lavfi \
    -i 'frei0r_src=size=32x16:framerate=30:filter_name=loomwork_nimbra:filter_params=9/9/1' \
    -frames:v 1 -pix_fmt rgba frei0r.png 2>frei0r.err ||
    { cat frei0r.err >&2; fail "ffmpeg with the installed frei0r source"; }
  "$host" render nimbra -o nimbra8.png --size 32x16
  same_pixels frei0r.png nimbra8.png "loomwork_nimbra through ffmpeg"
fi

echo "check-install: installed tree, example plug-in and loomhost work ($prefix)"
