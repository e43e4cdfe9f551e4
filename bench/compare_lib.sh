# Shared by the comparison scripts under bench/ (sourced, not run): the paths
# of the tool and of the peer scripts, the Open3D copies of a scan, the
# engine's per-run times from a trial log, and the Kinect pair's inputs.
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOOL="$SRC/build/tools/icp_tool"
PEER=${PEER_BENCH:-$SRC/../shared/bench}
PY=/usr/bin/python3
KINECT=$SRC/../shared/data/pcl_kinect_grabber_frames
export OMP_NUM_THREADS=${OMP_NUM_THREADS:-1}

# Open3D reads faces only and the standard colour names: write the scan with
# faces instead of its range grid, rename diffuse_red/green/blue in the header
# (same byte layout), and put the scan's .xf beside the copy.
open3d_copy() {  # IN OUT
  local in=$1 out=$2
  nice "$TOOL" convert "$in" "nogrid:$out.raw.ply" >/dev/null
  "$PY" - "$out.raw.ply" "$out" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
end = data.index(b"end_header") + len(b"end_header")
head = data[:end]
for c in (b"red", b"green", b"blue"):
    head = head.replace(b" diffuse_" + c + b"\n", b" " + c + b"\n")
open(sys.argv[2], "wb").write(head + data[end:])
EOF
  rm -f "$out.raw.ply"
  local xf="${in%.*}.xf"
  [ -f "$xf" ] && cp "$xf" "${out%.*}.xf"
  return 0
}

# Sums the engine's stderr timings per alignment. The log interleaves stdout
# markers ("Ensayo i" before the geometric run, "COLOR i" before the colour
# run) with stderr; a run's time is its colour-direction, initial and main
# totals plus the final step (the first "this iteration" after the main
# total), or the sum of its iterations when it stopped inside the main loop.
run_times() {  # LOG ICP_MS COLOR_MS
  awk -v icp="$2" -v col="$3" '
    function flush() {
      if (kind == "") return
      t = fixed + (have_main ? final : iters)
      print t > (kind == "icp" ? icp : col)
      kind = ""
    }
    function start(k) { flush(); kind = k; fixed = 0; iters = 0; final = 0; have_main = 0 }
    /^Ensayo [0-9]+$/ { start("icp"); next }
    /^COLOR [0-9]+$/ { start("color"); next }
    /^posicion inicial/ || /^Ambos bien/ { flush(); next }
    /^Time for diferencia color vecinos:/ || /^Time for initial iterations:/ { fixed += $(NF-1); next }
    /^Time for main iterations:/ { fixed += $(NF-1); have_main = 1; next }
    /^Time for this iteration:/ {
      if (have_main) { if (final == 0) final = $(NF-1) } else iters += $(NF-1)
      next }
    END { flush() }' "$1"
}

now() { date +%s.%N; }

# Copies the two Kinect frames into DIR as fixed.ply and moving.ply, with the
# transform estimated in their SOURCE.md as moving.xf (no ground truth
# exists; this estimate is the reference). The frames are read-only, hence
# the copies.
kinect_input() {  # DIR
  mkdir -p "$1"
  cp "$KINECT/frame_20121214T142255.814212_grid.ply" "$1/fixed.ply"
  cp "$KINECT/frame_20121214T142256.332395_grid.ply" "$1/moving.ply"
  cat > "$1/moving.xf" <<'EOF'
0.99984 -0.0120302 0.0132254 0.00476822
0.0119729 0.999919 0.00440319 0.0136931
-0.0132773 -0.00424414 0.999903 -0.00602975
0 0 0 1
EOF
}
