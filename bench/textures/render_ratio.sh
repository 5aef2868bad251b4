#!/usr/bin/env bash
# The render ratio of two loomhost programs: one texture rendered on one thread by each in
# turn, ROUNDS rounds alternating the two (so a busy moment of a shared machine falls on
# both), each render's `stats:` line read for its samples per second. Prints every round,
# the best of each program, their ratio and the ratio of each round's pair, with the load
# average before and after.
#
#   bench/textures/render_ratio.sh PEER_DIR NEW_DIR -- CLASS [render options...]
#
# PEER_DIR and NEW_DIR are build folders holding bin/loomhost and plugins/. A program whose
# render has no --stats option must print the line unasked (the first round's, 946340c with
# the line added). ROUNDS (default 3) and SIZE (default
# 2048x2048) come from the environment.
set -euo pipefail

if [[ $# -lt 4 || "$3" != "--" ]]; then
    echo "usage: $0 PEER_DIR NEW_DIR -- CLASS [render options...]" >&2
    exit 2
fi
peer=$1
new=$2
shift 3
rounds=${ROUNDS:-3}
size=${SIZE:-2048x2048}
for dir in "$peer" "$new"; do
    if [[ ! -x "$dir/bin/loomhost" || ! -d "$dir/plugins" ]]; then
        echo "$0: $dir has no bin/loomhost and plugins/ folder" >&2
        exit 2
    fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# "--stats" where the program's render takes it.
stats_option() {
    if "$1/bin/loomhost" render --help 2>/dev/null | grep -q -- '--stats'; then echo --stats; fi
}
peer_stats=$(stats_option "$peer")
new_stats=$(stats_option "$new")

# One render's samples per second, from its stats line.
rate() {
    local dir=$1 extra=$2 line
    shift 2
    line=$("$dir/bin/loomhost" --plugins "$dir/plugins" render "$@" --size "$size" \
        --threads 1 -o "$out/image.png" --force $extra 2>/dev/null | grep '^stats:' || true)
    if [[ -z "$line" ]]; then
        echo "$0: no stats line from $dir/bin/loomhost render $*" >&2
        exit 1
    fi
    sed -E 's/.*samples_per_second=([0-9.]+).*/\1/' <<<"$line"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
best_peer=0
best_new=0
for ((r = 1; r <= rounds; ++r)); do
    p=$(rate "$peer" "$peer_stats" "$@")
    n=$(rate "$new" "$new_stats" "$@")
    printf 'round %d: peer %.2f M/s, new %.2f M/s, ratio %.2f\n' "$r" \
        "$(bc -l <<<"$p / 1000000")" "$(bc -l <<<"$n / 1000000")" "$(bc -l <<<"$n / $p")"
    best_peer=$(bc -l <<<"if ($p > $best_peer) $p else $best_peer")
    best_new=$(bc -l <<<"if ($n > $best_new) $n else $best_new")
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'best: peer %.2f M/s, new %.2f M/s, ratio %.2f\n' \
    "$(bc -l <<<"$best_peer / 1000000")" "$(bc -l <<<"$best_new / 1000000")" \
    "$(bc -l <<<"$best_new / $best_peer")"
