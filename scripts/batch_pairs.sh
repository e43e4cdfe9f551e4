#!/usr/bin/env bash
# Runs the trial batch (icp_tool trials) for every scan pair of a list, one
# job per core with GNU parallel, then prints one table of the three counts
# per pair.
#
#   scripts/batch_pairs.sh LIST [--count N] [--seed S] [--jobs J] [--parallel] [--tool PATH] [--summary-only]
#
# LIST holds one pair per line: FIXED MOVING OUT (whitespace-separated paths
# without spaces; blank lines and lines starting with # are skipped). OUT is
# the trial log; the per-trial files go beside it (OUT without its ending,
# then _1.vkl, ...), and the job's console output to OUT without its ending
# plus ".console". --count and --seed are passed to every batch (defaults
# 100 and 7; the same seed gives every pair the same perturbations). --jobs
# defaults to the number of cores; each job runs its alignments on one thread
# (ICP_THREADS=1) unless ICP_THREADS is set. --parallel runs each batch in
# its parallel mode (icp_tool trials --parallel: trials side by side, each
# from a fresh state; give it threads with fewer jobs and ICP_THREADS).
# --summary-only skips the runs
# and builds the table from logs written earlier (for instance by a Slurm job
# array, see README).
#
# A list that names one output twice (the same log, or two logs whose names
# differ only in their ending) is refused before anything runs.
#
# Table (tab-separated, to standard output): fixed, moving, log, then the
# log's "Ambos bien", "Sólo color" and "Sólo normal" counts, or "failed" when
# the log has no counts. Exit status 1 when any pair failed, 2 on bad usage.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '6p' "$0" | sed 's/^# *//' >&2; exit 2; }
list="" count=100 seed=7 jobs=$(nproc) tool="$root/build/tools/icp_tool" summary_only=0 parallel_flag=""
while [ $# -gt 0 ]; do
  case $1 in
    --count) [ $# -ge 2 ] || usage; count=$2; shift 2 ;;
    --seed) [ $# -ge 2 ] || usage; seed=$2; shift 2 ;;
    --jobs) [ $# -ge 2 ] || usage; jobs=$2; shift 2 ;;
    --tool) [ $# -ge 2 ] || usage; tool=$2; shift 2 ;;
    --summary-only) summary_only=1; shift ;;
    --parallel) parallel_flag=--parallel; shift ;;
    -h|--help) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "batch_pairs: unknown option $1" >&2; usage ;;
    *) [ -z "$list" ] || usage; list=$1; shift ;;
  esac
done
[ -n "$list" ] || usage
[ -r "$list" ] || { echo "batch_pairs: cannot read the list $list" >&2; exit 2; }
for n in "$jobs" "$count"; do
  [[ $n =~ ^[1-9][0-9]{0,5}$ ]] || { echo "batch_pairs: --jobs and --count must be whole numbers >= 1" >&2; exit 2; }
done
[[ $seed =~ ^[0-9]{1,10}$ ]] || { echo "batch_pairs: --seed must be a whole number" >&2; exit 2; }

# The pairs, checked before anything runs: exactly three fields per line.
pairs=$(mktemp)
trap 'rm -f "$pairs"' EXIT
line_no=0
declare -A out_lines
while IFS= read -r line || [ -n "$line" ]; do
  line_no=$((line_no + 1))
  [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
  read -r -a fields <<< "$line"
  if [ ${#fields[@]} -ne 3 ]; then
    echo "batch_pairs: $list line $line_no: expected FIXED MOVING OUT, got: $line" >&2
    exit 2
  fi
  printf '%s\t%s\t%s\n' "${fields[@]}" >> "$pairs"
  # Two batches into one output would mix their files: each output (the
  # log's path without its ending, which names every file beside it) once.
  out_base=$(realpath -m -- "${fields[2]%.*}")
  if [ -n "${out_lines[$out_base]:-}" ]; then
    echo "batch_pairs: $list lines ${out_lines[$out_base]} and $line_no write the same output ${fields[2]}" >&2
    exit 2
  fi
  out_lines[$out_base]=$line_no
done < "$list"
[ -s "$pairs" ] || { echo "batch_pairs: $list holds no pairs" >&2; exit 2; }

if [ "$summary_only" -eq 0 ]; then
  command -v parallel >/dev/null || { echo "batch_pairs: GNU parallel is not installed" >&2; exit 2; }
  [ -x "$tool" ] || { echo "batch_pairs: no icp_tool at $tool (build it or pass --tool)" >&2; exit 2; }
  export ICP_THREADS=${ICP_THREADS:-1} BATCH_TOOL=$tool BATCH_COUNT=$count BATCH_SEED=$seed BATCH_PARALLEL=$parallel_flag
  # A failing batch shows in the table; parallel's own status adds nothing.
  parallel --will-cite --jobs "$jobs" --colsep '\t' \
    '"$BATCH_TOOL" trials {1} {2} --out {3} --count "$BATCH_COUNT" --seed "$BATCH_SEED" $BATCH_PARALLEL > {3.}.console 2>&1' \
    :::: "$pairs" || true
fi

# One row per pair from its log's last three lines.
status=0
printf 'fixed\tmoving\tlog\tambos_bien\tsolo_color\tsolo_normal\n'
while IFS=$'\t' read -r fixed moving out; do
  counts=$(tail -n 3 "$out" 2>/dev/null | LC_ALL=C sed -n 's/^\(Ambos bien\|S.lo color\|S.lo normal\): \([0-9]*\)$/\2/p' | paste -sd '\t' -)
  if [ "$(printf '%s' "$counts" | awk -F'\t' '{print NF}')" != 3 ]; then
    counts=$'failed\tfailed\tfailed'
    status=1
  fi
  printf '%s\t%s\t%s\t%s\n' "$fixed" "$moving" "$out" "$counts"
done < "$pairs"
exit $status
