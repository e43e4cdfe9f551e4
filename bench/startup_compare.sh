#!/usr/bin/env bash
# CPU time of `icp_tool info` on a small scan: this build against one
# configured without Open3D (build-noo3d/, made here when missing), and,
# with --before REV, a build of an earlier revision (e.g. one that linked
# Open3D into every program), interleaved run by run so machine load hits
# them alike. Prints the median user+system CPU milliseconds of each and
# this build's ratio to each.
#
#   bench/startup_compare.sh [--runs 30] [--before REV] [SCAN]
#
# SCAN defaults to data/demo/mesh1.ply (25k vertices).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
runs=30
before=""
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --before) before=$2; shift 2 ;;
    *) break ;;
  esac
done
scan=${1:-$src/data/demo/mesh1.ply}
export CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=1
launch=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

build_tool() {  # SOURCE BUILD [CMAKE ARGS...]
  local s=$1 b=$2
  shift 2
  cmake -S "$s" -B "$b" -DCMAKE_BUILD_TYPE=Release -DICP_BUILD_TESTS=OFF -DICP_BUILD_BENCH=OFF \
    -DICP_BUILD_APP=OFF "${launch[@]}" "$@" >/dev/null
  cmake --build "$b" -j2 --target icp_tool >/dev/null
}
cmake --build "$src/build" -j2 --target icp_tool icp_open3d >/dev/null
build_tool "$src" "$src/build-noo3d" -DCMAKE_DISABLE_FIND_PACKAGE_Open3D=ON
tools=("$src/build/tools/icp_tool" "$src/build-noo3d/tools/icp_tool")
names=(this-build without-Open3D)
if [ -n "$before" ]; then
  tree=$(mktemp -d /tmp/startup_before.XXXXXX)
  git -C "$src" worktree add --detach "$tree" "$before" >/dev/null 2>&1
  build_tool "$tree" "$tree/build"
  tools+=("$tree/build/tools/icp_tool")
  names+=("$before")
fi

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs each on $scan"
/usr/bin/python3 - "$runs" "$scan" "${tools[@]}" -- "${names[@]}" <<'PY'
import os, statistics, subprocess, sys
runs, scan = int(sys.argv[1]), sys.argv[2]
rest = sys.argv[3:]
cut = rest.index("--")
tools, names = rest[:cut], rest[cut + 1:]
cpu = [[] for _ in tools]
for _ in range(runs):
    for k, tool in enumerate(tools):
        p = subprocess.Popen([tool, "info", scan], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, use = os.wait4(p.pid, 0)
        cpu[k].append(1000 * (use.ru_utime + use.ru_stime))
base = statistics.median(cpu[0])
for name, c in zip(names, cpu):
    m = statistics.median(c)
    print(f"{name:16s} median CPU {m:7.1f} ms   this build / {name}: {base / m:5.2f}")
PY
if [ -n "$before" ]; then git -C "$src" worktree remove --force "$tree"; fi
