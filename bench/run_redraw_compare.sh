#!/usr/bin/env bash
# The window's share of a single run on two 1M-vertex scans, side by side in
# one run: the end-to-end program under a virtual display with the software
# renderer clicks "ICP_Color" (or "ICP"), once redrawing during the run (the
# scans as their point preview) and once not (input only), in turns. Prints
# per run the engine's main-loop time and the intervals between the view's
# redraws, then the medians: redraws per second, and how much slower the run
# is with its redraws than without.
#
#   bench/run_redraw_compare.sh [--runs N] [--button ICP|ICP_Color] [--work DIR]
#
# The pair is made once in DIR (default: a temporary folder) with
# `icp_tool make-pair --shape wavy --vertices 1000000`, and mesh 2 is moved
# 12 degrees and 5 % of its size off so the run lasts a few seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3 button=ICP_Color work=
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --button) button=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
tool="$root/build/tools/icp_tool" viewer="$root/build/app/icp_viewer_test"
for p in "$tool" "$viewer"; do [ -x "$p" ] || { echo "build $p first" >&2; exit 2; }; done
for c in xvfb-run xdotool; do command -v $c >/dev/null || { echo "needs $c" >&2; exit 2; }; done
if [ -z "$work" ]; then work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; fi
mkdir -p "$work"

if [ ! -f "$work/mesh2.ply" ]; then
  "$tool" make-pair --shape wavy --vertices 1000000 --out "$work" >/dev/null
  # Moves mesh 2 by a fixed rigid motion: 12 degrees about (0.3, 0.8, 0.2)
  # and a shift of (0.03, -0.02, 0.04), applied after its pose.
  /usr/bin/python3 - "$work/mesh2.xf" <<'EOF'
import math, sys
path = sys.argv[1]
T = [[float(v) for v in line.split()] for line in open(path) if line.strip()]
a = math.radians(12); ax = (0.3, 0.8, 0.2)
n = math.sqrt(sum(c * c for c in ax)); x, y, z = (c / n for c in ax)
c, s, t = math.cos(a), math.sin(a), 1 - math.cos(a)
R = [[t*x*x + c, t*x*y - s*z, t*x*z + s*y], [t*x*y + s*z, t*y*y + c, t*y*z - s*x],
     [t*x*z - s*y, t*y*z + s*x, t*z*z + c]]
P = [R[0] + [0.03], R[1] + [-0.02], R[2] + [0.04], [0, 0, 0, 1]]
M = [[sum(P[i][k] * T[k][j] for k in range(4)) for j in range(4)] for i in range(4)]
open(path, "w").write("".join(" ".join("%.9g" % v for v in row) + "\n" for row in M))
EOF
fi

# One run in the window: waits for the panel, clicks the button, waits for the
# run's outcome, closes the program. Leaves out.txt and err.txt in $work.
one_run() {  # extra viewer arguments...
  cat >"$work/inner.sh" <<EOF
#!/usr/bin/env bash
export LIBGL_ALWAYS_SOFTWARE=1 GSETTINGS_BACKEND=memory ICP_DEBUG_POSE=0
cd "$work"
: >answers
"$viewer" --answers answers "\$@" mesh1.ply mesh2.ply >out.txt 2>err.txt &
pid=\$!
for i in \$(seq 900); do grep -aq PANEL_READY out.txt && break; sleep 0.2; done
sleep 2
wid=\$(xdotool search --name "^Varkel" | head -1)
xy=\$(awk -v b='"$button"' '\$1=="CONTROL" && \$3=="button" && \$4==b {xy=\$(NF-2)" "\$(NF-1)} END{print xy}' out.txt)
xdotool mousemove --window "\$wid" \$xy click 1
for i in \$(seq 3000); do grep -aq "^ICP succeeded\|^ICP failed" err.txt && break; sleep 0.2; done
sleep 1
kill \$pid; wait \$pid 2>/dev/null || true
EOF
  chmod +x "$work/inner.sh"
  timeout 900 xvfb-run -a -s "-screen 0 1280x1024x24" "$work/inner.sh" "$@"
}
main_ms() { awk '/^Time for main iterations:/ {print $(NF-1)}' "$work/err.txt" | tail -1; }
# Intervals (s) between the preview frames drawn during the run.
intervals() {
  awk '$1 == "VIEW_FRAME" && $2 == "preview" { if (last != "") printf "%.2f ", ($3 - last) / 1000; last = $3 }' "$work/out.txt"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$work/with.ms"; : >"$work/without.ms"; : >"$work/gaps"
for ((r = 1; r <= runs; r++)); do
  one_run
  with=$(main_ms) gaps=$(intervals)
  echo "$with" >>"$work/with.ms"; echo "$gaps" | tr ' ' '\n' | sed '/^$/d' >>"$work/gaps"
  one_run --no-run-redraw
  without=$(main_ms)
  echo "$without" >>"$work/without.ms"
  printf 'run %d: main loop %s ms with redraws (every %s s), %s ms without\n' "$r" "$with" "${gaps:-none}" "$without"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
w=$(median "$work/with.ms") o=$(median "$work/without.ms")
g=$(median "$work/gaps")
awk -v w="$w" -v o="$o" -v g="$g" -v b="$button" 'BEGIN {
  printf "%s, medians: main loop %.0f ms with redraws, %.0f ms without: %.1f %% slower\n", b, w, o, 100 * (w / o - 1)
  if (g > 0) printf "redraws during the run: every %.2f s (%.2f per second)\n", g, 1 / g }'
