#!/usr/bin/env bash
# The parallel mode of the trial batch (icp_tool trials --parallel) side by
# side in one run: the batch on 1, 2 and 3 threads (wall and CPU time,
# speed-up of 2 threads over 1, whether the three runs wrote the same files),
# an estimate of the gain on 2 and 16 cores from the measured per-trial times
# (the trials handed to the workers in order, each taking the next trial when
# free; on a busy machine the process may get one core, which the CPU time
# shows), and the success counts of both modes over five seeds.
#
#   bench/parallel_trials_compare.sh [--count N] [--seeds "S1 S2 ..."] [FIXED MOVING]
#
# Default: the demo pair, 100 trials, seeds 1 to 5.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/compare_lib.sh"
count=100 seeds="1 2 3 4 5" pair=()
while [ $# -gt 0 ]; do
  case $1 in
    --count) count=$2; shift 2 ;;
    --seeds) seeds=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) pair+=("$(realpath "$1")"); shift ;;
  esac
done
[ ${#pair[@]} -eq 2 ] || pair=("$root/data/demo/mesh1.ply" "$root/data/demo/mesh2.ply")
[ -x "$TOOL" ] || { echo "build $TOOL first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # NAME THREADS SEED [--parallel]
  mkdir -p "$work/$1"
  local start end
  start=$(now)
  local TIMEFORMAT='%U %S'  # the CPU time of the batch, user and system
  { time (cd "$work/$1" && ICP_THREADS=$2 "$TOOL" trials "${pair[@]}" --out run.txt \
      --count "$count" --seed "$3" ${4:-} > "../$1.out" 2>&1); } 2> "$work/$1.cpu"
  end=$(now)
  echo "$start $end" | awk '{printf "%.2f\n", $2 - $1}' > "$work/$1.wall"
}
counts() { tail -n 3 "$work/$1/run.txt" | LC_ALL=C sed 's/^.*: //' | paste -sd ' ' -; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
first=${seeds%% *}
for t in 1 2 3; do run "par_$t" "$t" "$first" --parallel; done
same=yes
# The table and the summary record each run's time and the thread count:
# they are left out of the comparison.
for t in 2 3; do
  diff -rq -x '*_trials.csv' -x '*_summary.json' "$work/par_1" "$work/par_$t" > /dev/null || same=no
done
echo "parallel mode, ${pair[0]##*/} + ${pair[1]##*/}, $count trials, seed $first"
for t in 1 2 3; do
  read -r user sys < "$work/par_$t.cpu"
  printf '  %d thread(s): %8.2f s wall, %8.2f s user, %6.2f s system\n' \
    "$t" "$(cat "$work/par_$t.wall")" "$user" "$sys"
done
awk '{print $1}' "$work/par_1.wall" "$work/par_2.wall" | paste -sd ' ' - |
  awk '{printf "  speed-up 2 threads over 1: %.2fx\n", $1 / $2}'
echo "  load average now: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  same files on 1, 2 and 3 threads (timed table and summary aside): $same"

# Per-trial times from the 1-thread run's console (both runs of each trial),
# then their schedule on 2 and on 16 workers: what the batch gains when the
# process has that many cores to itself.
run_times "$work/par_1.out" "$work/icp.ms" "$work/color.ms"
paste -d ' ' "$work/icp.ms" "$work/color.ms" | awk '{print $1 + $2}' > "$work/trial.ms"
for workers in 2 16; do
  awk -v workers="$workers" '
    { t[NR] = $1; total += $1 }
    END {
      for (w = 1; w <= workers; w++) free[w] = 0
      for (i = 1; i <= NR; i++) {
        best = 1
        for (w = 2; w <= workers; w++) if (free[w] < free[best]) best = w
        free[best] += t[i]
      }
      span = 0
      for (w = 1; w <= workers; w++) if (free[w] > span) span = free[w]
      printf "  %d cores, from %d measured trials (%.0f ms in all): about %.0f ms, %.2fx\n",
             workers, NR, total, span, total / span
    }' "$work/trial.ms"
done

echo "success counts (Ambos bien, Solo color, Solo normal) over seeds $seeds"
for s in $seeds; do
  run "def_$s" "$(nproc)" "$s"
  run "par_s$s" "$(nproc)" "$s" --parallel
  printf '  seed %s: default %s   parallel %s\n' "$s" "$(counts "def_$s")" "$(counts "par_s$s")"
done
