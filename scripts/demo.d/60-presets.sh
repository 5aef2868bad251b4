# Every preset and palette of the textures' panels, each clicked in the panel as a person
# would (loomhost --preset), rendered small.
echo "Presets"
preset_render() {  # class preset...
  local cls=$1
  shift
  for preset in "$@"; do
    local name
    name=$(echo "$preset" | tr 'A-Z ' 'a-z_')
    $HOST render "$cls" --preset "$preset" -o "$OUT/${cls}_preset_${name}.png" --size 128x128
  done
  echo "  $cls: $#"
}
preset_render fervix "Coil Fire" "Ocean" "Spider Web" "Grassy" "Alien Skin" "Steam"
preset_render lumidot "Tartan" "Video Wall" "Nova"
$HOST panel voltrane --click 1010 --click "Apply WaveForms..." > "$OUT/voltrane_panel.txt"
