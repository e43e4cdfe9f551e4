#!/bin/bash
# Times the randomised trial batch (`icp_tool trials`) on a scan pair and runs
# Open3D's ICPs from exactly the same start poses, then prints one table:
# successes out of N per method (rotation error < 1 degree and translation
# error < 1% of mesh 2's diagonal, scored by the peer's own scorer for both
# sides), median / p90 ms per alignment, batch seconds and time ratios.
#
#   bench/trial_batch_compare.sh [--count N] [--seed S] [--methods M,M,...]
#                                [--work DIR] [PAIR ...]
#
# PAIR is `demo` (data/demo/mesh1.ply + mesh2.ply), `kinect` (two real Kinect
# frames, see below) or FIXED.ply,MOVING.ply (each placed by the .xf beside
# it). Default: demo kinect. --methods is passed to o3d_trials.py (default:
# p2l_fixed,p2l_halving,col_halving). Assumes icp_tool is built in build/ and
# Open3D is importable by /usr/bin/python3; the peer scripts are taken from
# $PEER_BENCH (default ../shared/bench from the repository's root).
#
# Our engine is single-threaded, so Open3D runs with OMP_NUM_THREADS=1 unless
# the caller sets it. Everything runs under nice, one program at a time.
#
# Our per-alignment times are the engine's own "Time for ..." lines on stderr
# (colour directions + initial iterations + main iterations + final step of
# each run); the batch seconds are the wall time of the whole `icp_tool
# trials` process (loading, both alignments of every trial, result files).
# Open3D's per-alignment times are its registration calls (time.perf_counter,
# preparation excluded); its batch seconds are their sum.
set -euo pipefail

source "$(dirname "$0")/compare_lib.sh"

count=100
seed=7
methods=p2l_fixed,p2l_halving,col_halving
work=
pairs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --methods) methods=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
    *) pairs+=("$1"); shift ;;
  esac
done
[ ${#pairs[@]} -gt 0 ] || pairs=(demo kinect)
[ -x "$TOOL" ] || { echo "no $TOOL: build icp_tool first" >&2; exit 2; }
[ -f "$PEER/o3d_trials.py" ] || { echo "no $PEER/o3d_trials.py" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d /tmp/trial_batch_compare.XXXXXX)
mkdir -p "$work"
echo "work folder: $work" >&2

compare_pair() {  # NAME FIXED MOVING
  local name=$1 fixed=$2 moving=$3 dir="$work/$1"
  mkdir -p "$dir"
  echo "== $name: $moving onto $fixed, $count trials, seed $seed" >&2
  open3d_copy "$fixed" "$dir/o3d_mesh1.ply"
  open3d_copy "$moving" "$dir/o3d_mesh2.ply"

  local t0 t1
  t0=$(now)
  nice "$TOOL" trials "$fixed" "$moving" --out "$dir/run.txt" --count "$count" --seed "$seed" \
    > "$dir/ours.log" 2>&1
  t1=$(now)
  echo "$t0 $t1" | awk '{printf "%.3f\n", $2 - $1}' > "$dir/ours_batch_s.txt"

  local starts=() icp=() color=() i
  for ((i = 1; i <= count; i++)); do
    starts+=("$dir/run_${i}_PosInicial.xf")
    icp+=("$dir/run_${i}_PosICP.xf")
    color+=("$dir/run_${i}_PosICPcolor.xf")
  done
  cat "${starts[@]}" > "$dir/starts.txt"
  rm -f "$dir/ours_icp_ms.txt" "$dir/ours_color_ms.txt"
  run_times "$dir/ours.log" "$dir/ours_icp_ms.txt" "$dir/ours_color_ms.txt"

  nice "$PY" "$PEER/score_poses.py" --mesh2 "$dir/o3d_mesh2.ply" --label ours_icp \
    --poses "${icp[@]}" --starts "${starts[@]}" --times "$dir/ours_icp_ms.txt" \
    --out "$dir/ours_icp.csv" >&2
  nice "$PY" "$PEER/score_poses.py" --mesh2 "$dir/o3d_mesh2.ply" --label ours_color \
    --poses "${color[@]}" --starts "${starts[@]}" --times "$dir/ours_color_ms.txt" \
    --out "$dir/ours_color.csv" >&2
  nice "$PY" "$PEER/o3d_trials.py" --mesh1 "$dir/o3d_mesh1.ply" --mesh2 "$dir/o3d_mesh2.ply" \
    --trials-from "$dir/starts.txt" --methods "$methods" --out "$dir/o3d.csv" >&2

  "$PY" - "$name" "$count" "$dir" <<'EOF'
import csv, sys
import numpy as np
name, n, d = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rows = {}
for f in ("ours_icp.csv", "ours_color.csv", "o3d.csv"):
    for r in csv.DictReader(open(f"{d}/{f}")):
        m = r["method"] if f == "o3d.csv" else f[:-4]
        rows.setdefault(m, []).append(r)
ours_batch = float(open(f"{d}/ours_batch_s.txt").read())
print(f"\n{name}: {n} trials (OMP_NUM_THREADS {__import__('os').environ.get('OMP_NUM_THREADS')})")
print(f"{'method':16s} {'success':>9s} {'median ms':>10s} {'p90 ms':>9s} {'sum s':>8s}")
sums = {}
for m, rs in rows.items():
    t = np.array([float(r["time_ms"]) for r in rs])
    ok = sum(int(r["success"]) for r in rs)
    sums[m] = t.sum() / 1e3
    print(f"{m:16s} {ok:4d}/{len(rs):<4d} {np.median(t):10.1f} {np.percentile(t, 90):9.1f} {sums[m]:8.2f}")
print(f"our whole batch: {ours_batch:.2f} s wall for {2 * n} alignments "
      f"({1e3 * ours_batch / (2 * n):.1f} ms per alignment, loading and files included)")
ours_runs = sums["ours_icp"] + sums["ours_color"]
for m in sorted(sums):
    if m.startswith("p2l") or m.startswith("col"):
        print(f"ratio {m} sum / our whole batch: {sums[m] / ours_batch:.3f};"
              f"  / our geometric sum: {sums[m] / sums['ours_icp']:.3f};"
              f"  / our colour sum: {sums[m] / sums['ours_color']:.3f}")
print(f"(our geometric + colour run sums: {ours_runs:.2f} s of the {ours_batch:.2f} s batch)")
EOF
}

for p in "${pairs[@]}"; do
  case "$p" in
    demo) compare_pair demo "$SRC/data/demo/mesh1.ply" "$SRC/data/demo/mesh2.ply" ;;
    kinect)
      kd="$work/kinect_input"
      kinect_input "$kd"
      compare_pair kinect "$kd/fixed.ply" "$kd/moving.ply" ;;
    *,*) compare_pair "$(basename "${p%%,*}" .ply)" "${p%%,*}" "${p#*,}" ;;
    *) echo "unknown pair '$p'" >&2; exit 2 ;;
  esac
done
