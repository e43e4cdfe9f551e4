#!/bin/bash
# One alignment from modest starts (5 degrees about a random axis, 2 cm),
# ours against Open3D's ICPs from the same starts, side by side in one run:
# median ms per alignment and successes out of N, per pair and method.
#
#   bench/modest_compare.sh [--trials N] [--work DIR]
#
# Pairs: bun000 + bun045 of the shared bunny scans placed by their .xf, and
# frag_115 aligned onto a copy of itself (reference: the identity). Ours is
# BM_AlignModest of build/bench/icp_bench (every alignment cold: k-d trees
# built inside the timed call), which also writes the starts; Open3D replays
# them with o3d_trials.py (point-to-plane p2l_fixed and, for coloured scans,
# coloured col_halving),
# scored by the same measure (rotation error < 1 degree, translation error
# < 1 % of mesh 2's diagonal). Both sides get every core: ICP_THREADS and
# OMP_NUM_THREADS default to nproc. Paths and the Open3D copies of the scans
# come from bench/compare_lib.sh.
set -euo pipefail
# Both sides get every core (compare_lib.sh keeps a value set before it).
export ICP_THREADS=${ICP_THREADS:-$(nproc)} OMP_NUM_THREADS=${OMP_NUM_THREADS:-$(nproc)}
source "$(dirname "$0")/compare_lib.sh"
DATA="$SRC/../shared/data"
BENCH="$SRC/build/bench/icp_bench"
trials=20
work=
while [ $# -gt 0 ]; do
  case "$1" in
    --trials) trials=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -x "$TOOL" ] && [ -x "$BENCH" ] || { echo "build icp_tool and icp_bench first" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d /tmp/modest_compare.XXXXXX)
mkdir -p "$work"
echo "work folder: $work; $ICP_THREADS threads ours, $OMP_NUM_THREADS Open3D" >&2

compare() {  # NAME FIXED MOVING OPEN3D_METHODS
  local name=$1 dir="$work/$1"
  mkdir -p "$dir"
  open3d_copy "$2" "$dir/mesh1.ply" 2>/dev/null
  open3d_copy "$3" "$dir/mesh2.ply" 2>/dev/null
  ICP_BENCH_TRIALS=$trials ICP_BENCH_FIXED="$2" ICP_BENCH_MOVING="$3" \
    ICP_BENCH_STARTS_OUT="$dir/starts.txt" "$BENCH" --benchmark_filter=BM_AlignModest \
    --benchmark_format=json > "$dir/ours.json" 2>/dev/null
  "$PY" "$PEER/o3d_trials.py" --mesh1 "$dir/mesh1.ply" --mesh2 "$dir/mesh2.ply" \
    --trials-from "$dir/starts.txt" --methods "$4" --out "$dir/o3d.csv" \
    > "$dir/o3d.log" 2>&1
  "$PY" - "$name" "$dir" <<'PYEOF'
import csv, json, statistics, sys
name, d = sys.argv[1], sys.argv[2]
ours = json.load(open(d + "/ours.json"))["benchmarks"][0]
n = int(ours["trials"])
rows = list(csv.DictReader(open(d + "/o3d.csv")))
def peer(method):
    rs = [r for r in rows if r["method"] == method]
    if not rs:
        return None
    ok = sum(1 for r in rs if r["success"] in ("1", "True", "true"))
    return statistics.median(float(r["time_ms"]) for r in rs), ok
p2l = peer("p2l_fixed")
print(f"{name}: {n} modest starts")
for label, key in (("ours geometric", "icp_"), ("ours colour", "color_")):
    if key + "median_ms" in ours:
        ms = ours[key + "median_ms"]
        ratio = f"  Open3D p2l / ours {p2l[0] / ms:6.1f}x" if p2l else ""
        print(f"  {label:18s} {int(ours[key + 'successes']):3d}/{n}  median {ms:9.1f} ms{ratio}")
for method in ("p2l_fixed", "col_halving"):
    r = peer(method)
    if r:
        print(f"  Open3D {method:11s} {r[1]:3d}/{n}  median {r[0]:9.1f} ms")
PYEOF
}

cp "$DATA/open3d_redwood_frag115/frag_115.ply" "$work/frag_115_copy.ply"
# The bunny scans have no colours: no colour ICP on either side.
compare bunny "$DATA/stanford_bunny_scans/bun000.ply" "$DATA/stanford_bunny_scans/bun045.ply" p2l_fixed
compare frag_115 "$DATA/open3d_redwood_frag115/frag_115.ply" "$work/frag_115_copy.ply" \
  p2l_fixed,col_halving
