# The plug-ins for other programs, one picture each: a GEGL operation through the gegl
# program (as GIMP runs it), a frei0r source through FFmpeg's frei0r_src and the frei0r
# mixer as a transition in melt. Skipped where the plug-ins or the programs are missing
# (the build makes them when GEGL's and frei0r's development files are installed).
if [ -f "$BUILD/gegl/loomwork.so" ] && command -v gegl >/dev/null; then
  echo "Other programs: gegl"
  echo "  gegl_nimbra.png"
  # GEGL_PATH replaces GEGL's own folder, which the chain needs too (gegl:save).
  gegl_path="$BUILD/gegl:$(pkg-config --variable=pluginsdir gegl-0.4 2>/dev/null ||
    echo /usr/lib/x86_64-linux-gnu/gegl-0.4)"
  other "$OUT/gegl_nimbra.png" env GEGL_PATH="$gegl_path" LOOMHOST_PLUGINS="$BUILD/plugins" \
    gegl -o "$OUT/gegl_nimbra.png" -- loomwork:nimbra width=256 height=256 density=0.8 \
    contrast=2 "sky=rgb(0.1, 0.2, 0.55)" >/dev/null 2>&1
fi
if [ -f "$BUILD/frei0r/loomwork_fervix.so" ] && command -v ffmpeg >/dev/null; then
  echo "Other programs: FFmpeg"
  echo "  ffmpeg_fervix.png"
  other "$OUT/ffmpeg_fervix.png" env FREI0R_PATH="$BUILD/frei0r" \
    LOOMHOST_PLUGINS="$BUILD/plugins" ffmpeg -nostdin -v error -y -f lavfi \
    -i "frei0r_src=size=256x256:framerate=30:filter_name=loomwork_fervix:filter_params=0/0.9/0.9|0.3/0/0.4" \
    -frames:v 1 "$OUT/ffmpeg_fervix.png"
fi
if [ -f "$BUILD/frei0r/loomwork_anaglyph.so" ] && command -v melt >/dev/null; then
  echo "Other programs: melt"
  echo "  melt_anaglyph.png"
  printf '%s\n' width=768 height=512 progressive=1 sample_aspect_num=1 sample_aspect_den=1 \
    display_aspect_num=3 display_aspect_den=2 frame_rate_num=30 frame_rate_den=1 \
    colorspace=709 "description=loomwork gallery" > "$OUT/melt_profile.txt"
  other "$OUT/melt_anaglyph.png" env FREI0R_PATH="$BUILD/frei0r" \
    LOOMHOST_PLUGINS="$BUILD/plugins" melt -quiet -profile "$OUT/melt_profile.txt" \
    "$OUT/stereo_left.png" out=0 -track "$OUT/stereo_right.png" out=0 \
    -transition frei0r.loomwork_anaglyph a_track=0 b_track=1 0=grey \
    -consumer "avformat:$OUT/melt_anaglyph.png" vcodec=png update=1 2>/dev/null
fi
