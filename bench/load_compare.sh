#!/usr/bin/env bash
# Loading a 1M-vertex coloured scan to ready, this checkout against a
# reference checkout, side by side in one run.
#
#   bench/load_compare.sh [REFERENCE_CHECKOUT] [REPETITIONS]
#
# REFERENCE_CHECKOUT (default ../baseline) must hold a Release build in its
# build/ folder; this checkout's build/ must hold bench/load_bench. The
# benchmark source of this checkout is compiled against the reference's
# headers and libraries, then both programs run alternately REPETITIONS
# times (default 3) and the medians and their ratio are printed.
# ICP_THREADS applies to this checkout's program (the reference has none).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ref=$(cd "${1:-$root/../baseline}" && pwd)
reps=${2:-3}
ours=$root/build/bench/load_bench
[ -x "$ours" ] || { echo "build $ours first (cmake --build build --target load_bench)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

libs=()
for l in registration/libicp_registration.a mesh/libicp_mesh.a registration/libicp_kdtree.a \
         spatial/libicp_spatial.a geometry/libicp_geometry.a; do
  [ -f "$ref/build/$l" ] && libs+=("$ref/build/$l")
done
g++ -O2 -DNDEBUG -std=c++17 -I"$ref" "$root/bench/load_bench.cpp" "${libs[@]}" "${libs[@]}" \
    -fopenmp -lbenchmark -lpthread -o "$work/load_bench_ref"

ms() { "$1" --benchmark_format=csv 2>/dev/null | awk -F, '/BM_LoadToReady/ {print $3}'; }
for i in $(seq "$reps"); do
  echo "$(ms "$work/load_bench_ref") $(ms "$ours")" >> "$work/times"
done
awk -v reps="$reps" '
  { ref[NR] = $1; ours[NR] = $2; printf "run %d: reference %.0f ms, ours %.0f ms\n", NR, $1, $2 }
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END { r = median(ref, NR); o = median(ours, NR)
        printf "median: reference %.0f ms, ours %.0f ms, speed-up %.2fx\n", r, o, r / o }' "$work/times"
