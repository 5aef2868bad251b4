# Anaglyph methods: the stereo pair composed four ways on one sheet (grey through the filter
# and half-colour above, colour and Dubois below), for red-cyan glasses.
echo "Anaglyph methods"
echo "  anaglyph_methods"
$HOST anaglyph "$OUT/stereo_left.png" "$OUT/stereo_right.png" --sheet --glasses red-cyan \
  -o "$OUT/anaglyph_methods.png"
