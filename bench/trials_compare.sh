#!/usr/bin/env bash
# The trial batch of icp_tool against a reference build of it, side by side
# in one run: the same batch (default the demo pair, 100 trials, seed 7) by
# the reference, then by ours on one thread and on every core. Prints wall
# and CPU seconds, the speed-ups against the reference, and whether every
# output byte (console without the timing lines, log, per-trial files) is the
# same as the reference's.
#
#   bench/trials_compare.sh [--reference TOOL] [--count N] [--seed S] [FIXED MOVING]
#
# TOOL defaults to ../baseline/build/tools/icp_tool beside the project.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ref_tool="$root/../baseline/build/tools/icp_tool"
our_tool="$root/build/tools/icp_tool"
count=100 seed=7 pair=()
while [ $# -gt 0 ]; do
  case $1 in
    --reference) ref_tool=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) pair+=("$(realpath "$1")"); shift ;;
  esac
done
[ ${#pair[@]} -eq 2 ] || pair=("$root/data/demo/mesh1.ply" "$root/data/demo/mesh2.ply")
[ -x "$ref_tool" ] && [ -x "$our_tool" ] || { echo "need $ref_tool and $our_tool" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # NAME TOOL THREADS
  mkdir -p "$work/$1"
  local start end
  start=$(date +%s.%N)
  (cd "$work/$1" && ICP_THREADS=$3 /usr/bin/time -f "%U %S" -o ../$1.cpu \
     "$2" trials "${pair[@]}" --out run.txt --count "$count" --seed "$seed" > ../$1.out 2> ../$1.err)
  end=$(date +%s.%N)
  echo "$start $end" | awk '{printf "%.2f\n", $2 - $1}' > "$work/$1.wall"
  grep -av 'msec\.' "$work/$1.out" > "$work/$1.console" || true
  grep -av 'msec\.' "$work/$1.err" >> "$work/$1.console" || true
}

# The basin picture and the pose-based count line report the batch, not the
# engine, and are newer than the default reference: when the reference has
# none, they are left out of every run's comparison.
drop_newer_reports() {
  [ -z "$(ls "$work/reference"/*_basin.svg 2>/dev/null)" ] || return 0
  for r in reference ours_1 ours_all; do
    rm -f "$work/$r"/*_basin.svg
    grep -av '^Pose recuperada' "$work/$r.console" > "$work/$r.kept" || true
    mv "$work/$r.kept" "$work/$r.console"
  done
}

run reference "$ref_tool" 1
run ours_1 "$our_tool" 1
run ours_all "$our_tool" "$(nproc)"
drop_newer_reports

ref_wall=$(cat "$work/reference.wall")
ref_cpu=$(awk '{print $1 + $2}' "$work/reference.cpu")
echo "trials: ${pair[0]##*/} + ${pair[1]##*/}, $count trials, seed $seed"
printf '%-22s %9s %9s %9s %s\n' run wall_s cpu_s speed-up same_bytes
for r in reference ours_1 ours_all; do
  wall=$(cat "$work/$r.wall")
  cpu=$(awk '{print $1 + $2}' "$work/$r.cpu")
  same=yes
  if [ "$r" != reference ]; then
    cmp -s "$work/reference.console" "$work/$r.console" || same=no
    diff -rq "$work/reference" "$work/$r" > /dev/null || same=no
  fi
  label=$r
  [ "$r" = ours_all ] && label="ours_$(nproc)_threads"
  printf '%-22s %9.2f %9.2f %8.2fx %s\n' "$label" "$wall" "$cpu" "$(echo "$ref_wall $wall" | awk '{print $1 / $2}')" "$same"
done
