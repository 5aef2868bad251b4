#!/usr/bin/env bash
# Renders an animation as a Slurm job array: each array task renders one contiguous part
# of the frame range. loomhost reads the task's part from SLURM_ARRAY_TASK_ID,
# SLURM_ARRAY_TASK_MIN and SLURM_ARRAY_TASK_COUNT, so no wrapper computes frame numbers.
#
#   sbatch examples/slurm_render.sh                  # 16 tasks, frames 0-9999
#   sbatch --array=0-63 examples/slurm_render.sh     # more machines, same files
#   FRAMES=0-9999:10 sbatch examples/slurm_render.sh # every tenth frame (a list: 1-3,5,7-20:2)
#
# Every task writes its frames to the shared folder OUT; the files are the same bytes
# whatever the number of tasks. Each task also writes a manifest of how its frames were
# made; a task run again (after a node failed) skips the frames already written.
#SBATCH --job-name=loomwork-render
#SBATCH --array=0-15
#SBATCH --cpus-per-task=8
#SBATCH --output=loomwork-render-%A_%a.log
set -euo pipefail

LOOMHOST=${LOOMHOST:-loomhost}
SCENE=${SCENE:-scene.loom}
FRAMES=${FRAMES:-0-9999}
SIZE=${SIZE:-1920x1080}
OUT=${OUT:-$HOME/renders/animation}

mkdir -p "$OUT"
exec "$LOOMHOST" render --scene "$SCENE" --frames "$FRAMES" --size "$SIZE" \
  --threads "${SLURM_CPUS_PER_TASK:-0}" --resume \
  --manifest "$OUT/manifest_${SLURM_ARRAY_TASK_ID:-0}.json" -o "$OUT/frame.exr"
