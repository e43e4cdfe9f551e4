#!/bin/bash
# One trial batch with all four methods on a scan pair against Open3D's own
# Python trial script replaying the same starts:
#   1. icp_tool trials PAIR --methods icp,icp_color,o3d_point_to_plane,o3d_colored
#      --export-starts starts.txt            (timed: the whole batch)
#   2. o3d_trials.py --trials-from starts.txt --methods p2l_halving,col_halving
#                                            (timed: the whole script)
# then prints, per peer, the successes of both sides (the pose rule: under 1
# degree and 1 % of mesh 2's diagonal), the trials where they disagree, both
# sides' median milliseconds per alignment, and the two wall times.
#
#   bench/trial_peers_compare.sh [--count N] [--seed S] [--work DIR] [FIXED.ply MOVING.ply]
#
# Default pair: data/demo/mesh1.ply, mesh2.ply. Open3D runs on one thread
# on both sides (OMP_NUM_THREADS=1 unless set; the batch's module always
# uses one). Needs icp_tool built in build/ with the Open3D module and
# /usr/bin/python3 with open3d (apt-get install python3-open3d).
set -euo pipefail
source "$(dirname "$0")/compare_lib.sh"

count=100
seed=7
work=
while [ $# -gt 0 ]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
fixed=${1:-$SRC/data/demo/mesh1.ply}
moving=${2:-$SRC/data/demo/mesh2.ply}
[ -n "$work" ] || work=$(mktemp -d /tmp/trial_peers_compare.XXXXXX)
mkdir -p "$work/ours"
echo "work folder: $work" >&2

t0=$(now)
"$TOOL" trials "$fixed" "$moving" --out "$work/ours/run.txt" --count "$count" --seed "$seed" \
  --methods icp,icp_color,o3d_point_to_plane,o3d_colored --export-starts "$work/starts.txt" \
  > "$work/ours.log" 2>&1
t1=$(now)
open3d_copy "$fixed" "$work/o3d_mesh1.ply"
open3d_copy "$moving" "$work/o3d_mesh2.ply"
t2=$(now)
"$PY" "$PEER/o3d_trials.py" --mesh1 "$work/o3d_mesh1.ply" --mesh2 "$work/o3d_mesh2.ply" \
  --trials-from "$work/starts.txt" --methods p2l_halving,col_halving --out "$work/o3d.csv" \
  > "$work/o3d.log" 2>&1
t3=$(now)

"$PY" - "$work" "$t0" "$t1" "$t2" "$t3" <<'PY'
import csv, statistics, sys
work, t0, t1, t2, t3 = sys.argv[1], *map(float, sys.argv[2:])
ours = list(csv.DictReader(open(f"{work}/ours/run_trials.csv")))
theirs = list(csv.DictReader(open(f"{work}/o3d.csv")))
n = len({r["trial"] for r in ours})
print(f"{n} trials; Open3D on one thread on both sides")
print(f"{'method':20s} {'ours':>8s} {'python':>8s} {'differ':>7s} {'ours ms':>9s} {'python ms':>10s}")
for mine, peer in (("o3d_point_to_plane", "p2l_halving"), ("o3d_colored", "col_halving")):
    a = [r for r in ours if r["method"] == mine]
    b = [r for r in theirs if r["method"] == peer]
    ka, kb = sum(int(r["recovered"]) for r in a), sum(int(r["success"]) for r in b)
    differ = sum(int(x["recovered"]) != int(y["success"]) for x, y in zip(a, b))
    ma = statistics.median(float(r["milliseconds"]) for r in a)
    mb = statistics.median(float(r["time_ms"]) for r in b)
    print(f"{mine:20s} {ka:8d} {kb:8d} {differ:7d} {ma:9.1f} {mb:10.1f}")
for m in ("icp", "icp_color"):
    a = [r for r in ours if r["method"] == m]
    print(f"{m:20s} {sum(int(r['recovered']) for r in a):8d} {'':>8s} {'':>7s} "
          f"{statistics.median(float(r['milliseconds']) for r in a):9.1f}")
ours_s, py_s = t1 - t0, t3 - t2
print(f"whole batch, four methods: {ours_s:.1f} s; Python script, two methods: {py_s:.1f} s; "
      f"ratio batch / script {ours_s / py_s:.2f}")
PY
