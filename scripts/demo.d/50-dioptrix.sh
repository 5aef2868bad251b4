# Dioptrix: a stereo pair with depth in it, three textured spheres floating at different
# distances before a Fervix wall, composed for red-cyan, red/green and red/blue glasses; the
# same pair side by side; the right view knocked askew and set straight again by --align,
# with its diagnostic sheet; a configuration kept in a scene file; the calibration picture.
echo "Dioptrix"
STEREO_PARTS="$OUT/stereo_parts"
mkdir -p "$STEREO_PARTS"
# part ARGS...: a loomhost run that only makes a piece of a stereo view (not shown itself).
part() {
  "$LOOMHOST" --plugins "$BUILD/plugins" "$@" > /dev/null
}
echo "  stereo_left, stereo_right (three spheres from two eyes over a wall)"
part render fervix --preset "Spider Web" --size 768x512 -o "$STEREO_PARTS/wall.png"
sphere_views() {  # NAME SIDE ARGS...: the sphere seen by the left and by the right eye
  local name=$1 side=$2
  shift 2
  part render "$@" --sphere --eye -0.15 --size "${side}x${side}" -o "$STEREO_PARTS/${name}_l.png"
  part render "$@" --sphere --eye 0.15 --size "${side}x${side}" -o "$STEREO_PARTS/${name}_r.png"
}
sphere_views far 300 nimbra --set Contrast=2.5 --set Density=0.5 --set Detail=10 \
  --set "U Scale=60" --set "V Scale=40" --set "Cloud=0.95,0.92,0.85" --set "Sky=0.1,0.2,0.55"
sphere_views middle 200 lumidot --preset Tartan
sphere_views near 140 fervix --preset "Coil Fire"
# The spheres stand on black: their brightness, steeply clipped, is their cover.
cover() {  # FILE +X+Y
  echo "$1 --ch R,G,B --dup --chsum --mulc 24 --clamp:min=0:max=1 --chappend --chnames R,G,B,A --origin $2"
}
# Disparities (left x minus right x): none for the wall, which stands at the screen; 10, 18
# and 28 pixels for the spheres, which stand before it, the nearer the more.
view() {  # EYE NEAR_X MIDDLE_X FAR_X
  # shellcheck disable=SC2046
  oiiotool --nosoftwareattrib $(cover "$STEREO_PARTS/near_$1.png" "+$2+300") \
    $(cover "$STEREO_PARTS/middle_$1.png" "+$3+60") --over \
    $(cover "$STEREO_PARTS/far_$1.png" "+$4+120") --over \
    "$STEREO_PARTS/wall.png" --over --cut 768x512+0+0 --ch R,G,B \
    -o "$OUT/stereo_$1.png"
}
view l 560 430 110
view r 532 412 100
mv "$OUT/stereo_l.png" "$OUT/stereo_left.png"
mv "$OUT/stereo_r.png" "$OUT/stereo_right.png"
echo "  stereo_red_cyan"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right.png" --glasses red-cyan \
  --method dubois -o "$OUT/stereo_red_cyan.png"
echo "  stereo_red_green"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right.png" \
  -o "$OUT/stereo_red_green.png" --left-eye red --right-eye green
echo "  stereo_red_blue"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right.png" \
  -o "$OUT/stereo_red_blue.png" --left-eye red --right-eye blue --left-comp -0.2 \
  --right-comp -0.15 --bits 8
echo "  stereo_sbs"
oiiotool --nosoftwareattrib "$OUT/stereo_left.png" "$OUT/stereo_right.png" --mosaic 2x1 \
  -o "$OUT/stereo_pair_sbs.png"
$HOST anaglyph --sbs "$OUT/stereo_pair_sbs.png" -o "$OUT/stereo_sbs.png"
# The right view turned 1.5 degrees, 1.5 % larger and 9 pixels lower, as a second camera
# might hold it; --align finds that and undoes it, --parallax auto puts the nearest sphere
# at the screen.
echo "  stereo_aligned (with its diagnostic sheet)"
oiiotool --nosoftwareattrib "$OUT/stereo_right.png" --warp:filter=lanczos3 \
  "1.01465,0.02657,0,-0.02657,1.01465,0,1.175,-4.954,1" -o "$OUT/stereo_right_askew.png"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right_askew.png" --align --parallax auto \
  --glasses red-cyan --method dubois --diagnostic "$OUT/stereo_aligned_diagnostic.png" \
  -o "$OUT/stereo_aligned.png" > /dev/null
echo "  dioptrix scene"
$HOST scene filter "$OUT/dioptrix_scene.loom" --entry glasses --left-eye red \
  --right-eye blue --left-comp -0.2 > "$OUT/dioptrix_scene.txt"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right.png" \
  --scene "$OUT/dioptrix_scene.loom" --entry glasses -o "$OUT/dioptrix_scene.png"
echo "  dioptrix_calibration"
$HOST calibrate --left-eye red --right-eye green --left-comp -0.2 --right-comp -0.15 --size 384 \
  -o "$OUT/dioptrix_calibration.png" > /dev/null
