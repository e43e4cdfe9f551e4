#!/usr/bin/env bash
# Every output of icp_tool (info, convert, align, trials with a fixed seed,
# make-pair) must stay byte for byte what tests/golden/ holds: console text
# with the timing lines taken out, pose files and logs in full, meshes and
# large tables by checksum. A reshaping of the engine that changes any
# arithmetic shows up here.
#
#   same_outputs.sh BUILD SOURCE              compare against tests/golden/
#   same_outputs.sh --regen TOOL SOURCE       rewrite tests/golden/ with TOOL
#
# ICP_SAME_OUTPUTS_ENVS holds a space-separated list of environment settings;
# each one runs the whole comparison again with that variable set. Default:
# one thread, every core, and three threads (pieces of unequal length), since
# no output may depend on the thread count. The peer methods' and the
# prealignment's cases run where the library's module is built.
set -u
fail() { echo "FAIL: $*"; exit 1; }

if [ "${1:-}" = "--regen" ]; then
  regen=1
  shift
  tool=$(realpath "$1")
else
  regen=0
  tool=$(realpath "$1/tools/icp_tool")
fi
source_dir=$(realpath "$2")
golden="$source_dir/tests/golden"
[ -x "$tool" ] || fail "no icp_tool at $tool"
for f in mesh1.ply mesh1.xf mesh2.ply mesh2.xf; do
  [ -f "$source_dir/data/demo/$f" ] || fail "missing data/demo/$f"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Console text without the lines that carry elapsed times.
untimed() { grep -av -e 'msec\.' "$1" || true; }

# Appends every file of the case folder but the inputs to the transcript:
# text up to 8 KB in full, anything larger (meshes, long tables) by checksum.
# The batch's research outputs (table, summary, success curve) carry times
# and the thread count; icp_tool_research.sh checks them against the log.
record_files() {
  local f
  for f in $(cd "$1" && ls | LC_ALL=C sort); do
    case " $inputs " in *" $f "*) continue ;; esac
    case "$f" in *_trials.csv | *_summary.json | *_success.svg) continue ;; esac
    if [ "$(wc -c < "$1/$f")" -le 8192 ] && ! grep -qaP '[\x00]' "$1/$f"; then
      echo "== file $f"
      cat "$1/$f"
    else
      echo "== file $f md5 $(md5sum < "$1/$f" | cut -d' ' -f1)"
    fi
  done
}

# run_case NAME COMMAND...: runs COMMAND inside a fresh folder holding the
# demo pair and writes NAME's transcript (exit status, console, files).
inputs="mesh1.ply mesh1.xf mesh2.ply mesh2.xf moved.xf"
peers=0
[ -f "$(dirname "$tool")/../lib/varkel_icp/icp_open3d.so" ] && peers=1
run_case() {
  local name=$1
  shift
  local case_dir="$work/case_$name"
  mkdir -p "$case_dir"
  cp "$source_dir"/data/demo/mesh* "$case_dir/"
  # The moving scan starts 5 mm and a little turn away from its true pose.
  awk 'NR == 1 { $2 += 0.02; $4 += 0.005 } NR == 2 { $1 -= 0.02 } { print }' \
    "$case_dir/mesh2.xf" > "$case_dir/moved.xf"
  (cd "$case_dir" && "$@" > ../stdout 2> ../stderr)
  local status=$?
  {
    echo "== status $status"
    echo "== stdout"
    untimed "$work/stdout"
    echo "== stderr"
    untimed "$work/stderr"
    record_files "$case_dir"
  } > "$work/$name.txt"
  rm -rf "$case_dir"
}

# The prealignment and the ICP after it, poses at full precision: on the
# demo pair (its 3 % features win) and on a generated sphere pair (its 2 %
# ones do). The library is offered three OpenMP threads: only the module's
# own one-thread rule keeps these bytes, on any machine.
prealigned_poses() {
  set -o pipefail
  "$tool" make-pair --shape sphere --out sphere --vertices 3000 --seed 1 >/dev/null || return 1
  for d in . sphere; do
    OMP_NUM_THREADS=3 "$tool" align $d/mesh1.ply $d/mesh2.ply --prealign --json |
      sed -E 's/"milliseconds":[0-9.e+-]+,?//g' || return 1
  done
  rm -rf sphere
}

run_all() {
  run_case info "$tool" info mesh1.ply
  run_case convert_ascii "$tool" convert mesh1.ply asc:out.ply
  run_case convert_binary "$tool" convert mesh2.ply out.ply
  run_case convert_big_endian "$tool" convert mesh1.ply be:norm:out.ply
  run_case convert_obj "$tool" convert mesh2.ply out.obj
  run_case convert_off "$tool" convert mesh1.ply out.off
  run_case align_icp sh -c "cp moved.xf mesh2.xf && '$tool' align mesh1.ply mesh2.ply --out out.xf"
  run_case align_color sh -c "cp moved.xf mesh2.xf && '$tool' align mesh1.ply mesh2.ply --color --out out.xf"
  # A small generated pair keeps the batch short enough for every build.
  run_case trials sh -c "'$tool' make-pair --shape wavy --out pair --vertices 1500 --seed 4 &&
    rm -f mesh* && mv pair/* . && rmdir pair &&
    '$tool' trials mesh1.ply mesh2.ply --out run.txt --count 3 --seed 7"
  # The peer methods' poses, where the library's module is built.
  if [ $peers -eq 1 ]; then
    run_case trials_peers sh -c "'$tool' make-pair --shape wavy --out pair --vertices 1500 --seed 4 &&
      rm -f mesh* && mv pair/* . && rmdir pair && '$tool' trials mesh1.ply mesh2.ply --out run.txt \
      --count 2 --seed 7 --methods o3d_point_to_plane,o3d_colored"
    run_case prealign prealigned_poses
  fi
}

if [ $regen -eq 1 ]; then
  run_all
  mkdir -p "$golden"
  rm -f "$golden"/*.txt
  cp "$work"/*.txt "$golden/"
  echo "same_outputs: golden files rewritten with $tool"
  exit 0
fi

status=0
for setting in ${ICP_SAME_OUTPUTS_ENVS:-ICP_THREADS=1 ICP_THREADS=$(nproc) ICP_THREADS=3}; do
  if [ -n "$setting" ]; then export "${setting?}"; fi
  run_all
  for expected in "$golden"/*.txt; do
    name=$(basename "$expected")
    [ $peers -eq 0 ] && case "$name" in trials_peers.txt | prealign.txt) continue ;; esac
    if ! cmp -s "$expected" "$work/$name"; then
      echo "FAIL: $name differs${setting:+ with $setting}:"
      diff "$expected" "$work/$name" | head -20
      status=1
    fi
  done
  [ "$(ls "$golden"/*.txt | wc -l)" -eq "$(($(ls "$work"/*.txt | wc -l) + 2 * (1 - peers)))" ] ||
    fail "case count changed"
  rm -f "$work"/*.txt
done
[ $status -eq 0 ] && echo "same_outputs: ok"
exit $status
