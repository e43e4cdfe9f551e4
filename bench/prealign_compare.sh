#!/bin/bash
# Prealignment then ICP, ours against Open3D's own global pipeline, from the
# same random starts, side by side in one run. Per pair: our successes out of
# N for prealignment + geometric ICP and prealignment + colour ICP, Open3D's
# for FPFH + RANSAC + its point-to-plane and its coloured ICP
# (bench/prealign_peer_open3d.py), each scored by the peer's scorer (rotation
# error < 1 degree, translation error < 1 % of mesh 2's diagonal), with the
# median / p90 ms per pair and our prealignment's own median ms.
#
#   bench/prealign_compare.sh [--count N] [--kinect-count N] [--peer-count N]
#                             [--seed S] [--work DIR] [PAIR ...]
#
# PAIR: bunny (bun045 onto bun000, placed by their .xf; no colours, so the
# geometric side only, each start run by `icp_tool align --prealign`), demo
# (data/demo), frag (frag_115 onto a copy of itself, identity truth), kinect
# (two Kinect frames; the transform estimated in their SOURCE.md is the
# reference). Default: all four; --count (default 100) trials each, kinect
# --kinect-count (default 20). Coloured pairs run `icp_tool trials
# --prealign`; Open3D replays their start poses (the trial's _PosInicial.xf),
# the first --peer-count of them when given (its ICPs on the full Kinect
# frames take a minute per start).
# Needs build/tools/icp_tool and python3-open3d; everything runs under nice,
# one program at a time, single-threaded (OMP_NUM_THREADS=1 unless set).
#
# Our time per pair: the prealignment line's msec plus the ICP run's engine
# timings (as in trial_batch_compare.sh). Open3D's: thinning, features,
# RANSAC and its ICP, per trial.
set -euo pipefail
source "$(dirname "$0")/compare_lib.sh"
DATA="$SRC/../shared/data"

count=100
kinect_count=20
peer_count=
seed=7
work=
pairs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --kinect-count) kinect_count=$2; shift 2 ;;
    --peer-count) peer_count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) pairs+=("$1"); shift ;;
  esac
done
[ ${#pairs[@]} -gt 0 ] || pairs=(bunny demo frag kinect)
[ -x "$TOOL" ] || { echo "no $TOOL: build icp_tool first" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d /tmp/prealign_compare.XXXXXX)
mkdir -p "$work"
echo "work folder: $work" >&2

# Our prealignment times, one per line, in trial order.
prealign_times() {  # LOG OUT
  sed -n 's/^Prealignment .*[ (]\([0-9.]*\) msec\.)*$/\1/p' "$1" > "$2"
}

# Adds two files of numbers line by line.
add_lines() {  # A B OUT
  paste "$1" "$2" | awk '{printf "%.2f\n", $1 + $2}' > "$3"
}

# Coloured pairs: the trial batch with --prealign.
ours_trials() {  # DIR FIXED MOVING N
  local dir=$1 n=$4 i
  nice "$TOOL" trials "$2" "$3" --out "$dir/run.txt" --count "$n" --seed "$seed" --prealign \
    > "$dir/ours.log" 2>&1
  prealign_times "$dir/ours.log" "$dir/prealign_ms.txt"
  run_times "$dir/ours.log" "$dir/icp_ms.txt" "$dir/color_ms.txt"
  : > "$dir/starts.txt"
  for ((i = 1; i <= n; i++)); do cat "$dir/run_${i}_PosInicial.xf" >> "$dir/starts.txt"; done
}

# The bunny: `align --prealign` from each start of the batch's generator.
ours_aligns() {  # DIR FIXED MOVING N
  local dir=$1 n=$4 i
  mkdir -p "$dir/moving"
  cp "$3" "$dir/moving/moving.ply"
  "$PY" - "$PEER" "$dir/o3d_mesh2.ply" "$n" "$seed" "$dir/starts.txt" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
import numpy as np, open3d as o3d, o3d_trials as ot
m2, n, seed, out = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
G = ot.read_xf(m2[:-4] + ".xf")
P = np.asarray(o3d.io.read_triangle_mesh(m2).vertices)
c, L = (P.min(0) + P.max(0)) / 2, float(np.linalg.norm(P.max(0) - P.min(0)))
with open(out, "w") as f:
    for ang, ks in ot.draw_perturbations(n, seed, "lcg"):
        S = ot.start_pose(G, ang, ks, c, 0.3 * L)
        f.write("".join(" ".join("%.17g" % x for x in row) + "\n" for row in S))
EOF
  : > "$dir/ours.log"
  for ((i = 0; i < n; i++)); do
    sed -n "$((4 * i + 1)),$((4 * i + 4))p" "$dir/starts.txt" > "$dir/moving/moving.xf"
    echo "Ensayo $i" >> "$dir/ours.log"
    nice "$TOOL" align "$2" "$dir/moving/moving.ply" --prealign --out "$dir/run_$((i + 1))_PosICP.xf" \
      >> "$dir/ours.log" 2>&1 || true
  done
  echo "Ambos bien: -" >> "$dir/ours.log"
  prealign_times "$dir/ours.log" "$dir/prealign_ms.txt"
  run_times "$dir/ours.log" "$dir/icp_ms.txt" "$dir/color_ms.txt"
}

compare_pair() {  # NAME FIXED MOVING N COLOUR(0/1)
  local name=$1 n=$4 colour=$5 dir="$work/$1" i
  mkdir -p "$dir"
  echo "== $name: $3 onto $2, $n trials, seed $seed" >&2
  open3d_copy "$2" "$dir/o3d_mesh1.ply"
  open3d_copy "$3" "$dir/o3d_mesh2.ply"
  if [ "$colour" = 1 ]; then ours_trials "$dir" "$2" "$3" "$n"; else ours_aligns "$dir" "$2" "$3" "$n"; fi

  local variants=(icp) methods=ransac_p2l
  [ "$colour" = 1 ] && variants=(icp color) && methods=ransac_p2l,ransac_col
  for v in "${variants[@]}"; do
    local poses=() suffix=ICP
    [ "$v" = color ] && suffix=ICPcolor
    for ((i = 1; i <= n; i++)); do poses+=("$dir/run_${i}_Pos$suffix.xf"); done
    add_lines "$dir/prealign_ms.txt" "$dir/${v}_ms.txt" "$dir/ours_${v}_pair_ms.txt"
    nice "$PY" "$PEER/score_poses.py" --mesh2 "$dir/o3d_mesh2.ply" --label "ours_$v" \
      --poses "${poses[@]}" --starts "$dir/starts.txt" --times "$dir/ours_${v}_pair_ms.txt" \
      --out "$dir/ours_$v.csv" >&2
  done
  local peer_starts="$dir/starts.txt"
  if [ -n "$peer_count" ] && [ "$peer_count" -lt "$n" ]; then
    head -n $((4 * peer_count)) "$dir/starts.txt" > "$dir/peer_starts.txt"
    peer_starts="$dir/peer_starts.txt"
  fi
  nice "$PY" "$SRC/bench/prealign_peer_open3d.py" --mesh1 "$dir/o3d_mesh1.ply" \
    --mesh2 "$dir/o3d_mesh2.ply" --trials-from "$peer_starts" --methods "$methods" \
    --out "$dir/o3d.csv" >&2

  "$PY" - "$name" "$n" "$dir" <<'EOF'
import csv, glob, os, sys
import numpy as np
name, n, d = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rows = {}
for f in sorted(glob.glob(f"{d}/ours_*.csv")) + [f"{d}/o3d.csv"]:
    for r in csv.DictReader(open(f)):
        rows.setdefault(r["method"], []).append(r)
pre = np.loadtxt(f"{d}/prealign_ms.txt", ndmin=1)
print(f"\n{name}: {n} trials (OMP_NUM_THREADS {os.environ.get('OMP_NUM_THREADS')}); "
      f"our prealignment median {np.median(pre):.1f} ms, p90 {np.percentile(pre, 90):.1f} ms")
print(f"{'method':12s} {'success':>9s} {'median ms':>10s} {'p90 ms':>9s}")
for m, rs in rows.items():
    t = np.array([float(r["time_ms"]) for r in rs])
    ok = sum(int(r["success"]) for r in rs)
    print(f"{m:12s} {ok:4d}/{len(rs):<4d} {np.median(t):10.1f} {np.percentile(t, 90):9.1f}")
EOF
}

for p in "${pairs[@]}"; do
  case "$p" in
    bunny) compare_pair bunny "$DATA/stanford_bunny_scans/bun000.ply" \
             "$DATA/stanford_bunny_scans/bun045.ply" "$count" 0 ;;
    demo) compare_pair demo "$SRC/data/demo/mesh1.ply" "$SRC/data/demo/mesh2.ply" "$count" 1 ;;
    frag)
      mkdir -p "$work/frag_input"
      cp "$DATA/open3d_redwood_frag115/frag_115.ply" "$work/frag_input/copy.ply"
      compare_pair frag "$DATA/open3d_redwood_frag115/frag_115.ply" "$work/frag_input/copy.ply" \
        "$count" 1 ;;
    kinect)
      kinect_input "$work/kinect_input"
      compare_pair kinect "$work/kinect_input/fixed.ply" "$work/kinect_input/moving.ply" \
        "$kinect_count" 1 ;;
    *) echo "unknown pair '$p'" >&2; exit 2 ;;
  esac
done
