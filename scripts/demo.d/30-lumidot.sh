# Lumidot: defaults, pinched waves, flat-topped bands from the thresholds, one wave alone,
# the negative blend, a nested map and the viewport bitmap.
echo "Lumidot"
render lumidot_default lumidot
render lumidot_pinch lumidot --set "Vertical Pinch=1" --set "Use Horizontal Colour=0" \
  --set "Horizontal Iteration=0.05" --set "High=0.1,0.1,0.3" --set "Low=0.9,0.8,0.5"
render lumidot_thresholds lumidot --set "Vertical High Threshold=0.3" \
  --set "Vertical Low Threshold=-0.3" --set "Horizontal High Threshold=0.6" \
  --set "Horizontal Low Threshold=-0.1" --set "High=0.95,0.85,0.3" --set "Low=0.1,0.2,0.5"
render lumidot_pinch_cut lumidot --set "Vertical Pinch=1" --set "Horizontal Pinch=1" \
  --set "Vertical High Threshold=0.5" --set "Horizontal High Threshold=0.5" \
  --set "Vertical Low Threshold=0.2" --set "Horizontal Low Threshold=0.2" \
  --set "Horizontal Iteration=0.06" --set "Vertical Iteration=0.06" \
  --set "High=0.05,0.3,0.35" --set "Low=1,0.75,0.2"
render lumidot_u_only lumidot --set "Use Horizontal Colour=0" --set "Horizontal Iteration=0.03"
render lumidot_negative lumidot --set "Positive Blend=0" --set "Negative Blend=1" \
  --set "High=0.2,0.6,1" --set "Low=1,0.9,0.4"
render lumidot_nested lumidot --set "Low=map:lumidot" --set "Low.Vertical Iteration=0.01" \
  --set "Low.Low=0.1,0.1,0.3" --set "Low.High=0.4,0.9,0.8"
$HOST viewport lumidot -o "$OUT/lumidot_viewport.png" --size 64
