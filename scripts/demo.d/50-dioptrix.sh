# Dioptrix: a stereo pair of the lit sample sphere wearing a Nimbra texture, seen from two
# eyes a little apart, composed for red/green and red/blue glasses; the same pair side by
# side; and a configuration kept in a scene file.
echo "Dioptrix"
stormy=(--set Contrast=2.5 --set Density=0.5 --set Detail=10 --set "U Scale=60"
        --set "V Scale=40" --set "Cloud=0.95,0.92,0.85" --set "Sky=0.1,0.2,0.55")
for eye in left right; do
  offset=-0.12
  [ "$eye" = right ] && offset=0.12
  echo "  dioptrix_$eye (eye $offset)"
  $HOST render nimbra --sphere --eye "$offset" --size 384x384 --bits 16 \
    -o "$OUT/dioptrix_$eye.png" "${stormy[@]}"
done
echo "  dioptrix_red_green"
$HOST anaglyph "$OUT/dioptrix_left.png" "$OUT/dioptrix_right.png" \
  -o "$OUT/dioptrix_red_green.png" --left-eye red --right-eye green
echo "  dioptrix_red_blue"
$HOST anaglyph "$OUT/dioptrix_left.png" "$OUT/dioptrix_right.png" \
  -o "$OUT/dioptrix_red_blue.png" --left-eye red --right-eye blue --left-comp -0.2 \
  --right-comp -0.15 --bits 8
if command -v oiiotool > /dev/null; then  # OpenImageIO's tools join the pair side by side
  echo "  dioptrix_sbs"
  oiiotool --nosoftwareattrib "$OUT/dioptrix_left.png" "$OUT/dioptrix_right.png" --mosaic 2x1 \
    -o "$OUT/dioptrix_pair_sbs.png"
  $HOST anaglyph --sbs "$OUT/dioptrix_pair_sbs.png" -o "$OUT/dioptrix_sbs.png"
fi
echo "  dioptrix scene"
$HOST scene filter "$OUT/dioptrix_scene.loom" --entry glasses --left-eye red \
  --right-eye blue --left-comp -0.2 > "$OUT/dioptrix_scene.txt"
$HOST anaglyph "$OUT/dioptrix_left.png" "$OUT/dioptrix_right.png" \
  --scene "$OUT/dioptrix_scene.loom" --entry glasses -o "$OUT/dioptrix_scene.png"
echo "  dioptrix_calibration"; $HOST calibrate --left-eye red --right-eye green --left-comp -0.2 --right-comp -0.15 -o "$OUT/dioptrix_calibration.png" > /dev/null
