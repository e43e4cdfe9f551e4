#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them one after another.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Targets: ply_fuzz, mesh_formats_fuzz, pose_fuzz, point_cloud_fuzz (default: all four, 600 s each).
# The growing corpus goes to fuzz/out/<target>/ (seeded from fuzz/corpus/<target>/),
# crash inputs to fuzz/out/artifacts/, each run's log to fuzz/out/<target>.log.
# One job at a time, so the machine stays usable. A single allocation above
# 512 MB counts as a failure: no count from a file may size one.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ply_fuzz mesh_formats_fuzz pose_fuzz point_cloud_fuzz)

build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DICP_BUILD_FUZZ=ON -DICP_BUILD_APP=OFF -DICP_BUILD_BENCH=OFF -DICP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$here/out/artifacts"
for t in "${targets[@]}"; do
  mkdir -p "$here/out/$t" "$here/out/$t-work"
  echo "== $t for ${seconds}s"
  (cd "$here/out/$t-work" && "$build/fuzz/$t" -max_total_time="$seconds" -jobs=1 -workers=1 \
      -timeout=10 -malloc_limit_mb=512 -rss_limit_mb=2048 \
      -artifact_prefix="$here/out/artifacts/$t-" "$here/out/$t" "$here/corpus/$t" \
      >"$here/out/$t.log" 2>&1) || echo "$t stopped: see $here/out/$t.log"
  tail -n 3 "$here/out/$t.log" 2>/dev/null || true
  tail -n 2 "$here/out/$t-work"/fuzz-*.log 2>/dev/null || true
done
ls -l "$here/out/artifacts"
