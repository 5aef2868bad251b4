# Voltrane: the defaults, a sweep, each of the nine shapes, goo, and the waves applied.
echo "Voltrane"
render voltrane_default voltrane
render voltrane_sweep voltrane --set "Sweep Phase=75"
shape() {
  local name=$1 row=$2
  shift 2
  render "voltrane_$name" voltrane --set "Linear Horizontal=0" --set "$row=1" \
    --set "Background=0.05,0.05,0.15" "$@"
}
shape linear_h "Linear Horizontal" --set "Sweep Phase=90" --set "Edge Size=0.03"
shape linear_v "Linear Vertical" --set "Sweep Phase=60" --set "Edge Size=0.03"
shape linear_sheared "Linear Horizontal" --set "Sweep Phase=120" --set "Shear=99.5"
shape radial "Radial" --set "Sweep Phase=100" --set "Edge Size=0.08"
shape expand "Shockwave" --set "Sweep Phase=55" --set "Edge Size=0.02"
shape encase "Encase" --set "Sweep Phase=200" --set "Edge Size=0.05"
shape diagonal "Diagonal" --set "Sweep Phase=150" --set "Edge Size=0.04"
shape static "RandomStatic" --set "Sweep Phase=75" --set "Edge Size=0.1"
shape cubic "Cubic" --set "Sweep Phase=10" --set "Edge Size=0.02" \
  --set "Radial U Position=0.3" --set "Radial V Position=0.4"
shape goo "Goo" --set "Sweep Phase=0" --set "Edge Size=0.03" --set "Goo U Scale=6" \
  --set "Goo V Scale=6"
shape goo_phase "Goo" --set "Sweep Phase=15" --set "Edge Size=0.02" --set "Goo U Scale=3" \
  --set "Goo V Scale=9" --set "Goo Phase=2.5" --set "Body Color=0.2,0.6,0.3"
render voltrane_waves voltrane --set "Sweep Phase=75" --set "Apply Waveform=1" \
  --set "Wave 1 Size=20" --set "Wave 2 Size=7" --set "Wave 2 Multiplier=0.05" \
  --set "Edge Size=0.02"
render voltrane_waves_scaled voltrane --set "Sweep Phase=100" --set "Apply Waveform=1" \
  --set "Begin at Edge=0" --set "Wave 1 Size=12" --set "Wave 1 Multiplier=1.5" \
  --set "Wave 2 Multiplier=0" --set "Invert Waveform=1"
render voltrane_jitter voltrane --set "Sweep Phase=75" --set "Edge Noise=6" \
  --set "Edge Size=0.03" --set "Body R Opacity=0.4" --set "Background=0.1,0.2,0.5"
render voltrane_maps voltrane --set "Sweep Phase=90" --set "Linear Horizontal=0" \
  --set "Radial=1" --set "Body Color=map:nimbra" --set "Background=map:voltrane" \
  --set "Background.Linear Horizontal=0" --set "Background.Diagonal=1" \
  --set "Background.Sweep Phase=150"
$HOST viewport voltrane -o "$OUT/voltrane_viewport.png" --size 64 --set "Sweep Phase=75"
