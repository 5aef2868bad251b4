# Dioptrix on video: two seconds of the lit sample sphere turning its Nimbra clouds, seen
# from two eyes a little apart, rendered straight into a left and a right video (FFV1) and
# composed frame by frame into one red/green H.264 video.
echo "Dioptrix video"
clouds=(--set Contrast=2.5 --set Density=0.5 --set Detail=8 --set "U Scale=60"
        --set "V Scale=40" --set "Cloud=0.95,0.92,0.85" --set "Sky=0.1,0.2,0.55"
        --key "U Shift@0=0" --key "U Shift@59=0.5")
for eye in left right; do
  offset=-0.12
  [ "$eye" = right ] && offset=0.12
  echo "  dioptrix_video_$eye.mkv (60 frames, eye $offset)"
  $HOST render nimbra --sphere --eye "$offset" --size 256x256 --frames 0-59 --fps 30 \
    --codec ffv1 -o "$OUT/dioptrix_video_$eye.mkv" "${clouds[@]}" 2> /dev/null
done
echo "  dioptrix_video.mp4"
$HOST anaglyph "$OUT/dioptrix_video_left.mkv" "$OUT/dioptrix_video_right.mkv" \
  -o "$OUT/dioptrix_video.mp4" --codec h264 --crf 18
poster "$OUT/dioptrix_video.mp4"
