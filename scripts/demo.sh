#!/usr/bin/env bash
# Renders the gallery into out/. Each plug-in adds its part as scripts/demo.d/NN-name.sh,
# which may call the helpers below.
set -euo pipefail
BUILD=${BUILD:-build}
OUT=${OUT:-out}
HOST="$BUILD/bin/loomhost --plugins $BUILD/plugins"
mkdir -p "$OUT"

# render NAME CLASS [ARGS...]: colour and normal map, 256 x 256.
render() {
  local name=$1 cls=$2
  shift 2
  echo "  $name"
  $HOST render "$cls" -o "$OUT/$name.png" --size 256x256 --output color,normal "$@"
}

for part in "$(dirname "$0")"/demo.d/*.sh; do
  # shellcheck source=/dev/null
  source "$part"
done
echo "Gallery written to $OUT/"
