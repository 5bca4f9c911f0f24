#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures as ratios against a reference
# measured in the same run ("ratio A / B = x (target <= t) MET|MISSED").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh plain
for b in build/bin/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_color=false "$@"
done
