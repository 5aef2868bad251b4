#!/usr/bin/env bash
# scripts/check-deb.sh [BUILD]
# Makes the Debian package from the build folder BUILD (default build-release), checks its
# contents and dependencies, installs it and runs the installed loomhost (eval and a small
# render), then removes it again (purged). As root with apt-get (CI) the package is installed with
# `apt-get install ./loomwork_*.deb`; otherwise, or when a loomwork package is already
# installed, or with LOOM_DEB_INSTALL=extract, it is unpacked into a temporary root with
# dpkg -x and run from there.
set -euo pipefail
build=$(cd "${1:-build-release}" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/loom-deb.XXXXXX")
installed_by_us=0
cleanup() {
  if ((installed_by_us)); then
    apt-get purge -y -o DPkg::Lock::Timeout=300 loomwork >/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "check-deb: $*" >&2
  exit 1
}

rm -f "$build"/loomwork_*.deb
(cd "$build" && cpack -G DEB) >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB in $build failed"; }
debs=("$build"/loomwork_*.deb)
[ -f "${debs[0]}" ] || fail "no loomwork_*.deb in $build"
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libopenimageio; do
  [[ $depends == *"$lib"* ]] || fail "$deb: Depends lacks $lib: '$depends'"
done
dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/contents.txt"
for f in ./usr/bin/loomhost ./usr/lib/.*libloomhost.so ./usr/lib/.*loomwork/plugins/nimbra.so \
  ./usr/share/man/man1/loomhost.1.gz ./usr/share/bash-completion/completions/loomhost \
  ./usr/lib/.*cmake/Loomwork/LoomworkConfig.cmake ./usr/include/loomwork/foundation/texframe/tex_class.h \
  ./usr/share/blender/scripts/addons/loomwork_blender/__init__.py; do
  grep -qx "$f" "$tmp/contents.txt" || fail "$deb does not hold $f"
done

# The plug-ins for other programs, where GEGL and frei0r hosts look, when the build made them.
if [ -f "$build/gegl/loomwork.so" ]; then
  grep -qx './usr/lib/.*gegl-0.4/loomwork.so' "$tmp/contents.txt" ||
    fail "$deb does not hold the GEGL module in GEGL's folder"
  grep -qx './usr/lib/.*libloomcore.so.1' "$tmp/contents.txt" || fail "$deb does not hold libloomcore"
fi
if [ -f "$build/frei0r/loomwork_nimbra.so" ]; then
  grep -qx './usr/lib/frei0r-1/loomwork_nimbra.so' "$tmp/contents.txt" ||
    fail "$deb does not hold the frei0r effects in /usr/lib/frei0r-1"
fi

mode=${LOOM_DEB_INSTALL:-}
if [ -z "$mode" ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null &&
    ! dpkg-query -W -f '${Status}' loomwork 2>/dev/null | grep -q installed; then
    mode=apt
  else
    mode=extract
  fi
fi
if [ "$mode" = apt ]; then
  installed_by_us=1
  apt-get install -y -o DPkg::Lock::Timeout=300 "$deb" >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log" >&2; fail "apt-get install $deb failed"; }
  host=/usr/bin/loomhost
else
  dpkg -x "$deb" "$tmp/root"
  host=$tmp/root/usr/bin/loomhost
fi

cd "$tmp"
unset LOOMHOST_PLUGINS
export XDG_DATA_HOME=$tmp/data  # no user plug-ins
"$host" eval nimbra 0,0 >eval.txt
grep -qx '0.425875038 0.425875038 1 1' eval.txt || { cat eval.txt >&2; fail "eval nimbra 0,0"; }
"$host" render voltrane -o voltrane.png --size 48x32
[ "$(head -c 8 voltrane.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the render is not a PNG"
# Installed under /usr, the Blender add-on is where Debian's Blender looks, and finds the
# installed module and plug-ins.
if [ "$mode" = apt ] && command -v blender >/dev/null; then
  env -u LOOMWORK_PYTHONPATH BLENDER_USER_SCRIPTS="$tmp/blender-scripts" \
    BLENDER_USER_CONFIG="$tmp/blender-config" blender -b --factory-startup --python-exit-code 1 \
    --python-expr "import addon_utils, bpy
m = addon_utils.enable('loomwork_blender')
assert m and m.__file__.startswith('/usr/share/blender/scripts/addons/'), m
assert m.module.get(), m.module.error()
assert bpy.ops.image.loomwork_new(texture='nimbra', width=4, height=4) == {'FINISHED'}" \
    >blender.log 2>&1 || { cat blender.log >&2; fail "Blender does not enable the installed add-on"; }
fi
echo "check-deb: $(basename "$deb") ($mode) installs and runs; Depends: $depends"
