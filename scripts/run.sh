#!/usr/bin/env bash
# Builds the tools and runs the program's main job on the bundled demo data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target icp_tool
build/tools/icp_tool pose-check data/demo/mesh2.xf
