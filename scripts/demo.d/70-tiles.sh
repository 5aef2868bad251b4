# Seamless tiles, seeds, a looping animation and contact sheets: what a material author
# takes from the textures. Each tile is shown two by two, so that a seam would show.
echo "Tiles, seeds, loops and sheets"
echo "  tiles"
$HOST render fervix --preset Ocean --tile --tiles 2x2 --size 512x512 -o "$OUT/fervix_tile.png" 2> /dev/null
$HOST render nimbra --preset Cumulus --tile --tiles 2x2 --size 512x512 -o "$OUT/nimbra_tile.png"
$HOST render lumidot --preset Tartan --tile --tiles 2x2 --size 512x512 -o "$OUT/lumidot_tile.png"
$HOST render voltrane --set Goo=1 --set "Goo U Scale=6" --set "Goo V Scale=6" --tile --tiles 2x2 \
  --size 512x512 -o "$OUT/voltrane_tile.png"
echo "  seeds"
$HOST render fervix --preset Grassy --seed 7 --size 256x256 -o "$OUT/fervix_seed7.png"
echo "  contact sheets"
$HOST render fervix --sheet presets --size 128x128 -o "$OUT/fervix_sheet.png"
$HOST render lumidot --sheet presets --size 128x128 -o "$OUT/lumidot_sheet.png"
$HOST render nimbra --sheet presets --size 128x128 -o "$OUT/nimbra_sheet.png"
$HOST render voltrane --set Goo=1 --sheet seeds:1-6 --size 128x128 -o "$OUT/voltrane_sheet.png"
echo "  fervix_loop.mp4 (48 frames, a seamless loop)"
$HOST render fervix --preset Alien\ Skin --tile --loop --frames 0-47 --size 256x256 \
  --codec h264 --crf 18 -o "$OUT/fervix_loop.mp4" 2> /dev/null
poster "$OUT/fervix_loop.mp4"
