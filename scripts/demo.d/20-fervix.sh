# Fervix: defaults, fractal detail, turbulence, linear bands, all overlays with the
# negative blend, a nested map, the viewport bitmap and an animation through the phase.
echo "Fervix"
render fervix_default fervix
render fervix_fractal fervix --set "Use Fractal Detail=1" --set "Fractal Scale=2.5" \
  --set "Intensity=0.6" --set "Prime=1,0.85,0.3" --set "Back=0.35,0.05,0.05"
render fervix_turbulence fervix --set "Use Plasma=0" --set "Use Turbulence=1" \
  --set "Turbulence Scale=8" --set "Intensity=0.8" --set "U Scale=6" --set "V Scale=6" \
  --set "Prime=0.95,0.95,1" --set "Back=0.1,0.2,0.6"
render fervix_linear fervix --set "Horizontal/U - Radial=0" --set "Horizontal/U - Linear=1" \
  --set "V Offset=0" --set "FallOff=0" --set "Use Fractal Detail=1" --set "Intensity=0.35"
render fervix_all_negative fervix --set "Use Fractal Detail=1" --set "Use Turbulence=1" \
  --set "Fractal SUB Toggle=1" --set "Fractal ADD Toggle=0" --set "Turbulence Scale=4" \
  --set "Positive Blend=0" --set "Negative Blend=1" --set "FallOff=0.9" --set "Phase=3"
render fervix_nested fervix --set "Back=map:fervix" --set "Back.Use Turbulence=1" \
  --set "Back.Prime=1,0.5,0" --set "Back.Back=0.2,0,0.3"
$HOST viewport fervix -o "$OUT/fervix_viewport.png" --size 64
echo "  fervix_anim (frames 0-7)"
$HOST render fervix -o "$OUT/fervix_anim.png" --size 128x128 --frames 0-7 \
  --set "Use Fractal Detail=1" --key "Phase@0=0" --key "Phase@7=3.5"
