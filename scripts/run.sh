#!/usr/bin/env bash
# Builds the program and opens its window, on the bundled demo scans when
# they are present. Without a graphical display it says so and stops.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target icp_viewer

meshes=()
if [ -f data/demo/mesh1.ply ] && [ -f data/demo/mesh2.ply ]; then
  meshes=(data/demo/mesh1.ply data/demo/mesh2.ply)
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: no graphical display (DISPLAY is not set), so the window of icp_viewer cannot open here." >&2
  exit 1
fi
exec build/app/icp_viewer "${meshes[@]}"
