#!/bin/bash
# One trial batch with all four methods on a scan pair against Open3D's own
# Python trial script replaying the same starts:
#   0. icp_tool trials PAIR --count N --seed S --export-starts starts.txt
#      (the two variants only: it draws the starts);
#   1. icp_tool trials PAIR --starts starts.txt
#      --methods icp,icp_color,o3d_point_to_plane,o3d_colored
#   2. o3d_trials.py --trials-from starts.txt --methods p2l_halving,col_halving
# 1 and 2 run side by side, both under nice, so a machine whose load comes
# and goes slows both alike; each is timed whole (wall and CPU seconds).
# Then prints, per peer, the successes of both sides (the pose rule: under 1
# degree and 1 % of mesh 2's diagonal), the trials where they disagree, the
# largest difference of rotation error where both succeed, both sides'
# median milliseconds per alignment, the two times and the load averages.
#
#   bench/trial_peers_compare.sh [--count N] [--seed S] [--starts FILE] [--jobs J]
#                                [--part T] [--work DIR] [FIXED.ply MOVING.ply]
#   bench/trial_peers_compare.sh --report DIR
#
# --starts FILE replays those starts instead of drawing them (step 0).
# --jobs J runs J lanes per side at once (2J processes), each taking parts
# of T trials (--part, default: an equal share) one after another, both
# sides through the parts in the same order: on a machine others keep busy
# this gets the run its share sooner, and a run stopped early (or looked at
# with --report DIR while it goes) compares the parts both sides finished.
# The times are then the sums of the parts' wall and CPU seconds. Given
# the --work DIR of a run that was stopped, each side skips the parts it
# finished there (same starts and parts needed) and runs the rest.
#
# Default pair: data/demo/mesh1.ply, mesh2.ply. Open3D runs on one thread
# on both sides (OMP_NUM_THREADS=1 unless set; the batch's module always
# uses one). Our o3d_colored milliseconds leave out the target's colour
# gradients, derived once per batch; the script derives them in every call.
# Needs icp_tool built in build/ with the Open3D module and /usr/bin/python3
# with open3d (apt-get install python3-open3d).
set -euo pipefail
source "$(dirname "$0")/compare_lib.sh"

count=100
seed=7
work=
jobs=1
part=0
starts=
while [ $# -gt 0 ]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --part) part=$2; shift 2 ;;
    --report) work=$2; report_only=1; shift 2 ;;
    --starts) starts=$(realpath "$2"); shift 2 ;;
    -h|--help) sed -n '2,36p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
if [ -z "${report_only:-}" ]; then
fixed=${1:-$SRC/data/demo/mesh1.ply}
moving=${2:-$SRC/data/demo/mesh2.ply}
[ -n "$work" ] || work=$(mktemp -d /tmp/trial_peers_compare.XXXXXX)
mkdir -p "$work/draw"
echo "work folder: $work" >&2

if [ -z "$starts" ]; then
  "$TOOL" trials "$fixed" "$moving" --out "$work/draw/run.txt" --count "$count" --seed "$seed" \
    --export-starts "$work/starts.txt" > "$work/draw.log" 2>&1
  starts=$work/starts.txt
fi
open3d_copy "$fixed" "$work/o3d_mesh1.ply" 2>/dev/null
open3d_copy "$moving" "$work/o3d_mesh2.ply" 2>/dev/null
# Trial after trial (a "#" line and four rows each) into parts of `part`.
n=$(grep -c '^#' "$starts")
[ "$part" -gt 0 ] || part=$(((n + jobs - 1) / jobs))
awk -v part="$part" -v dir="$work" '
  /^#/ { n++ } { printf "%s\n", $0 > sprintf("%s/starts_%03d.txt", dir, int((n - 1) / part)) }' \
  "$starts"
parts=$(((n + part - 1) / part))
uptime > "$work/load.txt"
timed() {  # NAME COMMAND...: wall, user and system seconds into NAME.time
  local name=$1
  shift
  [ -s "$work/$name.time" ] && [ "$(wc -w < "$work/$name.time")" -ge 3 ] && return 0
  /usr/bin/time -f "%e %U %S" -o "$work/$name.time" nice "$@" > "$work/$name.log" 2>&1
}
ours_lane() {  # LANE: parts LANE, LANE + jobs, ...
  local p
  for ((p = $1; p < parts; p += jobs)); do
    local k=$(printf %03d $p)
    mkdir -p "$work/ours_$k"
    timed "ours_$k" "$TOOL" trials "$fixed" "$moving" --out "$work/ours_$k/run.txt" \
      --starts "$work/starts_$k.txt" --methods icp,icp_color,o3d_point_to_plane,o3d_colored
  done
}
python_lane() {  # LANE
  local p
  for ((p = $1; p < parts; p += jobs)); do
    local k=$(printf %03d $p)
    timed "python_$k" "$PY" "$PEER/o3d_trials.py" --mesh1 "$work/o3d_mesh1.ply" \
      --mesh2 "$work/o3d_mesh2.ply" --trials-from "$work/starts_$k.txt" \
      --methods p2l_halving,col_halving --out "$work/o3d_$k.csv"
  done
}
for ((j = 0; j < jobs; j++)); do
  ours_lane $j &
  python_lane $j &
done
wait
uptime >> "$work/load.txt"

fi

"$PY" - "$work" <<'PY'
import csv, glob, os, statistics, sys
work = sys.argv[1]
# The parts both sides finished, in trial order.
done = sorted(k for k in (os.path.basename(f)[7:10] for f in glob.glob(f"{work}/starts_*.txt"))
              if all(os.path.exists(f) and os.path.getsize(f) for f in (
                  f"{work}/ours_{k}/run_trials.csv", f"{work}/o3d_{k}.csv",
                  f"{work}/ours_{k}.time", f"{work}/python_{k}.time")))
all_parts = len(glob.glob(f"{work}/starts_*.txt"))
ours = [r for k in done for r in csv.DictReader(open(f"{work}/ours_{k}/run_trials.csv"))]
theirs = [r for k in done for r in csv.DictReader(open(f"{work}/o3d_{k}.csv"))]
n = len(ours) // 4
print(f"{n} trials ({len(done)} of {all_parts} parts done on both sides); Open3D on one thread on both sides")
print(f"{'method':20s} {'ours':>6s} {'python':>6s} {'differ':>6s} {'max drot':>9s} {'ours ms':>9s} {'python ms':>9s}")
for mine, peer in (("o3d_point_to_plane", "p2l_halving"), ("o3d_colored", "col_halving")):
    a = [r for r in ours if r["method"] == mine]
    b = [r for r in theirs if r["method"] == peer]
    ka, kb = sum(int(r["recovered"]) for r in a), sum(int(r["success"]) for r in b)
    differ = sum(int(x["recovered"]) != int(y["success"]) for x, y in zip(a, b))
    drot = max([abs(float(x["rotation_error_deg"]) - float(y["rot_err_deg"])) for x, y in zip(a, b)
                if int(x["recovered"]) and int(y["success"])] or [0.0])
    ma = statistics.median(float(r["milliseconds"]) for r in a)
    mb = statistics.median(float(r["time_ms"]) for r in b)
    print(f"{mine:20s} {ka:6d} {kb:6d} {differ:6d} {drot:9.2g} {ma:9.1f} {mb:9.1f}")
for m in ("icp", "icp_color"):
    a = [r for r in ours if r["method"] == m]
    print(f"{m:20s} {sum(int(r['recovered']) for r in a):6d} {'':>6s} {'':>6s} {'':>9s} "
          f"{statistics.median(float(r['milliseconds']) for r in a):9.1f}")
wall, cpu = {}, {}
for side in ("ours", "python"):
    times = [list(map(float, open(f"{work}/{side}_{k}.time").read().split()[-3:])) for k in done]
    wall[side], cpu[side] = sum(t[0] for t in times), sum(t[1] + t[2] for t in times)
print(f"whole batch, four methods: {wall['ours']:.1f} s wall, {cpu['ours']:.1f} s CPU; "
      f"Python script, two methods: {wall['python']:.1f} s wall, {cpu['python']:.1f} s CPU")
print(f"ratio batch / script: wall {wall['ours'] / wall['python']:.2f}, CPU {cpu['ours'] / cpu['python']:.2f}")
print("load at the start (and at the end): " + " | ".join(
    l.split("load average:")[1].strip() for l in open(f"{work}/load.txt")))
PY
