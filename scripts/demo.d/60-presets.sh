# The presets and palettes of the textures' panels show on the contact sheets (each preset
# clicked in the panel as a person would, one labelled cell each: see 70-tiles.sh); here
# Voltrane's panel is clicked and listed.
echo "Presets"
$HOST panel voltrane --click 1010 --click "Apply WaveForms..." > "$OUT/voltrane_panel.txt"
