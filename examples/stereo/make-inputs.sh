#!/usr/bin/env bash
# Makes the small stereo inputs the README's anaglyph examples use, from loomhost's own
# sample sphere seen by two eyes (and FFmpeg for the video):
#   examples/stereo/make-inputs.sh [BUILD]      (default build; writes beside this script)
# left.png, right.png    a still pair
# photo.mpo              the pair as a stereo photo (two JPEGs and their MPF index)
# l_0001.png..r_0003.png a three-frame sequence pair
# lefts/, rights/        folders of pairs matched by name
# trip_sbs.mp4           two seconds of side-by-side video with a tone
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
host() { "$build/bin/loomhost" --plugins "$build/plugins" "$@"; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
look=(--set Contrast=2.5 --set Density=0.5 --set Detail=8 --set "U Scale=40" --set "V Scale=30")
for eye in left right; do
  offset=-0.12
  [ "$eye" = right ] && offset=0.12
  host render nimbra --sphere --eye "$offset" --size 192x128 -o "$here/$eye.png" "${look[@]}"
  host render nimbra --sphere --eye "$offset" --size 192x128 -o "$tmp/$eye.jpg" "${look[@]}"
  for f in 1 2 3; do
    host render nimbra --sphere --eye "$offset" --size 96x64 --time "$((f * 4))" \
      -o "$here/${eye:0:1}_000$f.png" "${look[@]}" --key "U Shift@0=0" --key "U Shift@30=30"
  done
done
mkdir -p "$here/lefts" "$here/rights"
cp "$here/l_0001.png" "$here/lefts/dawn.png"
cp "$here/r_0001.png" "$here/rights/dawn.png"
cp "$here/l_0003.png" "$here/lefts/dusk.png"
cp "$here/r_0003.png" "$here/rights/dusk.png"
python3 - "$tmp/left.jpg" "$tmp/right.jpg" "$here/photo.mpo" <<'PY'
import struct, sys
first, second = (open(p, "rb").read() for p in sys.argv[1:3])
def segment(sizes, offsets):
    n = len(sizes)
    list_at = 8 + 2 + 3 * 12 + 4
    body = b"II" + struct.pack("<HI", 42, 8) + struct.pack("<H", 3)
    body += struct.pack("<HHI4s", 0xB000, 7, 4, b"0100")
    body += struct.pack("<HHII", 0xB001, 4, 1, n)
    body += struct.pack("<HHII", 0xB002, 7, 16 * n, list_at) + b"\0\0\0\0"
    for i in range(n):
        body += struct.pack("<IIIHH", (0x20000000 if i == 0 else 0) | 0x020002,
                            sizes[i], offsets[i], 0, 0)
    data = b"MPF\0" + body
    return b"\xff\xe2" + struct.pack(">H", len(data) + 2) + data
seg_len = len(segment([0, 0], [0, 0]))
first_size = len(first) + seg_len
out = first[:2] + segment([first_size, len(second)], [0, first_size - 10]) + first[2:] + second
open(sys.argv[3], "wb").write(out)
PY
ffmpeg -v error -y -i "$here/left.png" -i "$here/right.png" \
  -f lavfi -i "sine=frequency=440:duration=2" -filter_complex \
  "[0][1]hstack,loop=loop=47:size=1,setpts=N/24/TB,format=yuv420p[v]" -map "[v]" -map 2 \
  -t 2 -r 24 -c:v libx264 -crf 28 -preset veryslow -c:a aac -b:a 32k \
  -map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact "$here/trip_sbs.mp4"
echo "stereo inputs written to $here"
