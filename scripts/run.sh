#!/usr/bin/env bash
# Builds the program and opens its window on the bundled demo scans. Without
# a graphical display it runs the trial batch on the same scans instead
# (geometric and colour ICP from random starts) and says where the files went.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target icp_viewer icp_tool

meshes=(data/demo/mesh1.ply data/demo/mesh2.ply)
if [ -n "${DISPLAY:-}" ]; then
  exec build/app/icp_viewer "${meshes[@]}"
fi

out_dir=$(mktemp -d "${TMPDIR:-/tmp}/icp_demo_trials.XXXXXX")
echo "No graphical display: running 10 trials of the batch on the demo scans instead." >&2
build/tools/icp_tool trials "${meshes[@]}" --out "$out_dir/run.txt" --count 10 2>/dev/null
echo "Trial log and per-trial result files: $out_dir (run.txt, run_N.vkl, run_N_*.xf, run_N_error.xls)"
