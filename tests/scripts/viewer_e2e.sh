#!/usr/bin/env bash
# End to end, the 3-D view under a virtual X server (Mesa software GL),
# checked by simple pixel statistics of screenshots, not golden images:
# an empty white view; two coloured scans (red mesh 1, blue mesh 2, loaded
# through the load buttons and the scripted dialog) overlapped; the split
# view with mesh 1 above, mesh 2 below and a one-pixel black line; white and
# significant colour modes; the blue wire overlay; near-black ridge lines;
# the "Umbral" slider taking a quick click, Ctrl+click and double click; a
# drag that turns the view but not the poses ("Centrar" restores the first
# picture) and one with "Mover malla2" that moves mesh 2 ("Centrar" does not);
# a drag in the split view's lower half moving mesh 2's view only; the wheel.
# Also the command line: icp_viewer_test MESH1 MESH2 shows both at once.
# Arguments: build directory, source directory. Screenshots are left in
# <build>/viewer_e2e/.
set -euo pipefail
build=$(cd "$1" && pwd)
viewer="$build/app/icp_viewer_test"
# shellcheck source=lib/e2e_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/e2e_common.sh"

# On failure, only the end of the program's standard error.
e2e_report() {
  [ -f "$work/err" ] && tail -5 "$work/err"
}

if ! e2e_inner; then
  e2e_require xvfb-run xdotool import convert python3
  [ -x "$viewer" ] || fail "the program is not built in $build/app"
  e2e_rerun_under_xvfb "$@"
fi

e2e_make_work
shots="$build/viewer_e2e"
mkdir -p "$shots"

# Two overlapping coloured scans of one wavy surface with three sharp crests
# across it (at x = 1, 4, 7: ridge lines at the default "Umbral"), 80 x 80
# vertices each:
# mesh 1 a red checker over x in [0, 6]; mesh 2 a blue checker over x in
# [2, 8], stored in its own frame and placed by the pose file beside it
# (0.3 above mesh 1, so it covers mesh 1 where they overlap, seen from +Z).
python3 - "$work" <<'PY'
import math, sys
out = sys.argv[1]
def write(path, x0, shift, dark, light, n=80):
    xs = [x0 + 6.0 * i / (n - 1) for i in range(n)]
    ys = [6.0 * j / (n - 1) for j in range(n)]
    with open(path, "w") as f:
        f.write("ply\nformat ascii 1.0\nelement vertex %d\n" % (n * n))
        f.write("property float x\nproperty float y\nproperty float z\n")
        f.write("property uchar red\nproperty uchar green\nproperty uchar blue\n")
        f.write("element face %d\nproperty list uchar int vertex_indices\nend_header\n"
                % (2 * (n - 1) * (n - 1)))
        for y in ys:
            for x in xs:
                z = 0.4 * math.sin(1.3 * x) * math.cos(1.1 * y) + sum(
                    0.3 * math.exp(-((x - c) / 0.2) ** 2) for c in (1, 4, 7))
                c = dark if (math.floor(2 * x) + math.floor(2 * y)) % 2 else light
                f.write("%g %g %g %d %d %d\n" % ((x - shift, y, z) + c))
        for j in range(n - 1):
            for i in range(n - 1):
                v = j * n + i
                f.write("3 %d %d %d\n3 %d %d %d\n" % (v, v + 1, v + n + 1, v, v + n + 1, v + n))
write(out + "/mesh1.ply", 0.0, 0.0, (230, 40, 40), (250, 170, 170))
write(out + "/mesh2.ply", 2.0, 2.0, (40, 40, 230), (170, 170, 250))
with open(out + "/mesh2.xf", "w") as f:
    f.write("1 0 0 2\n0 1 0 0\n0 0 1 0.3\n0 0 0 1\n")
PY

# Pixel statistics of a region: counts of red, blue, near-black, white and
# coloured pixels, and of pixels differing from a second image.
cat >"$work/stats.py" <<'PY'
import sys
def load(path):
    data = open(path, "rb").read()
    # P6 header: magic, width, height, maxval, each followed by white space.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        start = pos
        while not data[pos:pos + 1].isspace(): pos += 1
        fields.append(data[start:pos])
    return int(fields[1]), int(fields[2]), data[pos + 1:]
w, h, px = load(sys.argv[1])
other = load(sys.argv[2])[2] if len(sys.argv) > 2 else None
red = blue = dark = white = colored = differ = 0
for i in range(0, 3 * w * h, 3):
    r, g, b = px[i], px[i + 1], px[i + 2]
    hi, lo = max(r, g, b), min(r, g, b)
    if r > 150 and g < 120 and b < 120: red += 1
    if b > 150 and r < 120 and g < 120: blue += 1
    if hi < 50: dark += 1
    if lo > 247: white += 1
    if hi - lo > 60: colored += 1
    if other is not None and abs(r - other[i]) + abs(g - other[i + 1]) + abs(b - other[i + 2]) > 30:
        differ += 1
print(w * h, red, blue, dark, white, colored, differ)
PY

# stats NAME GEOMETRY [OTHER]: sets total red blue dark white colored differ
# for the crop GEOMETRY (WxH+X+Y) of screenshot NAME (and OTHER).
stats() {
  convert "$shots/$1.png" -crop "$2" +repage "$work/a.ppm"
  if [ $# -gt 2 ]; then
    convert "$shots/$3.png" -crop "$2" +repage "$work/b.ppm"
    read -r total red blue dark white colored differ < <(python3 "$work/stats.py" "$work/a.ppm" "$work/b.ppm")
  else
    read -r total red blue dark white colored differ < <(python3 "$work/stats.py" "$work/a.ppm")
  fi
  echo "  $1 [$2]${3:+ vs $3}: red $red blue $blue dark $dark white $white coloured $colored differ $differ of $total"
}

# start ARGS...: runs the program (answers in $work/answers), waits for the panel.
start() { e2e_launch 120 "$@"; }

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

# click N: clicks the N-th control of the printed layout.
click() {
  local xy
  xy=$(awk -v n="$1" '$1 == "CONTROL" && $2 == n { print $(NF - 2), $(NF - 1); exit }' "$work/out")
  [ -n "$xy" ] || fail "no control $1 in the layout"
  local before
  before=$(count '^ACTIVATED' "$work/out")
  # shellcheck disable=SC2086
  xdotool mousemove --window "$wid" $xy click 1
  wait_count '^ACTIVATED' "$work/out" $((before + 1)) 30 || fail "control $1 did not react"
}

# drag X0 Y0 X1 Y1: a left drag in the 3-D area in ten steps.
drag() {
  xdotool mousemove --window "$wid" "$1" "$2" mousedown 1
  local k
  for ((k = 1; k <= 10; k++)); do
    xdotool mousemove --window "$wid" $(($1 + ($3 - $1) * k / 10)) $(($2 + ($4 - $2) * k / 10))
    sleep 0.05
  done
  xdotool mouseup 1
}

area=700x900+0+0      # the 3-D area (the panel starts at x = 724)
upper=700x440+0+0     # split view, upper half
lower=700x440+0+460   # split view, lower half
line=700x1+0+449      # the row between the halves (GL row 450 of 900)
left=150x360+120+270  # where only mesh 1 shows in the overlapped view

# 1. Nothing loaded: plain white.
printf '%s\n' "$work/mesh1.ply" "$work/mesh2.ply" >"$work/answers"
start
shot empty
stats empty $area
[ "$white" -eq "$total" ] || fail "the empty view is not all white"

# 2. Both scans through the load buttons: overlapped, each in its colours.
click 2
click 4
shot overlapped
stats overlapped $area
[ "$red" -gt 5000 ] || fail "mesh 1's red is missing from the overlapped view"
[ "$blue" -gt 20000 ] || fail "mesh 2's blue is missing from the overlapped view"
[ "$white" -gt $((total / 4)) ] || fail "the scans fill the whole view"

# 3. Split view: mesh 1 above, mesh 2 below, a black row between.
click 8
shot split
stats split $upper
[ "$red" -gt 10000 ] && [ "$blue" -lt 100 ] || fail "the upper half is not mesh 1 alone"
stats split $lower
[ "$blue" -gt 10000 ] && [ "$red" -lt 100 ] || fail "the lower half is not mesh 2 alone"
stats split $line
[ "$dark" -eq "$total" ] || fail "no one-pixel black line between the views"
stats split 700x1+0+447
[ "$dark" -lt "$total" ] || fail "the black line is more than one pixel thick"
# A drag pressed in the lower half turns mesh 2's view only, even where it
# crosses into the upper half.
drag 300 700 380 300
shot split_dragged
stats split_dragged $upper split
[ "$differ" -lt 50 ] || fail "a drag pressed in the lower half moved the upper view ($differ)"
stats split_dragged $lower split
[ "$differ" -gt 5000 ] || fail "a drag in the lower half did not turn mesh 2's view ($differ)"
click 7

# The wheel: a notch up sends the scene away (more white), one down brings it back.
shot before_wheel
xdotool mousemove --window "$wid" 350 450 click 4
shot wheel_up
stats wheel_up $area
white_up=$white
stats before_wheel $area
[ "$white_up" -gt $((white + 10000)) ] || fail "wheel up did not send the scene away ($white_up vs $white)"
xdotool mousemove --window "$wid" 350 450 click 5
shot wheel_down
stats wheel_down $area before_wheel
[ "$white" -lt $((white_up - 10000)) ] || fail "wheel down did not bring the scene closer"
click 11

# 4. White mode on both meshes: shaded grey, no colour.
click 21
click 31
shot white
stats white $area
[ "$colored" -lt 200 ] || fail "colours remain in white mode ($colored pixels)"
[ "$white" -lt $((total - 30000)) ] || fail "the meshes vanished in white mode"

# 5. Significant colour: only the checker's borders keep their colour.
click 23
click 33
shot significant
stats significant $area
sig_colored=$colored
stats overlapped $area
[ "$sig_colored" -gt 2000 ] || fail "significant colour shows no colour"
[ "$sig_colored" -lt $((colored * 3 / 4)) ] || fail "significant colour keeps too much colour ($sig_colored of $colored)"

# 6. Wire overlay on mesh 1 in white: blue lines over grey.
click 21
click 19
shot wire
stats wire $left
[ "$blue" -gt 2000 ] || fail "no blue wire lines on mesh 1 ($blue)"
click 19
click 22
click 32

# 7. Ridges and valleys: near-black lines.
stats overlapped $area
dark_before=$dark
click 36
click 37
shot ridges
stats ridges $area
[ "$dark" -gt $((dark_before + 1000)) ] || fail "no near-black ridge lines ($dark vs $dark_before)"
click 36
click 37

# 7b. "Umbral": a quick click sets the value under the pointer (the middle of
#     0 to 0.5); Ctrl+click and a double click open a typed entry.
xy=$(awk '$1 == "CONTROL" && $4 == "\"Umbral\"" { print $(NF - 2), $(NF - 1); exit }' "$work/out")
[ -n "$xy" ] || fail "no Umbral slider in the layout"
x=${xy% *} y=${xy#* }
umbral() { grep -a '^ACTIVATED slider "Umbral"' "$work/out" | tail -1; }
typed() {
  xdotool type --delay 60 "$1"
  xdotool keydown Return
  sleep 0.2
  xdotool keyup Return
}
xdotool mousemove --window "$wid" "$x" "$y" click 1
wait_for '^ACTIVATED slider "Umbral" id=0 value=0\.2[3-7]' "$work/out" 10 \
  || fail "a quick click on Umbral did not take the value under the pointer: $(umbral)"
xdotool mousemove --window "$wid" "$x" "$y" keydown ctrl click 1 keyup ctrl
typed 0.35
wait_for 'value=0\.350$' "$work/out" 10 || fail "Ctrl+click gave no typed entry: $(umbral)"
xdotool mousemove --window "$wid" $((x - 30)) "$y" click --repeat 2 --delay 80 1
typed 0.125
wait_for 'value=0\.125$' "$work/out" 10 || fail "a double click gave no typed entry: $(umbral)"

# 8. A drag turns the view, not the poses: "Centrar" brings back the first picture.
shot before_drag
drag 300 450 420 380
shot dragged
stats dragged $area before_drag
[ "$differ" -gt 20000 ] || fail "the drag did not turn the view ($differ pixels changed)"
click 11
shot centred
stats centred $area before_drag
[ "$differ" -lt 200 ] || fail "after the drag and Centrar the picture differs ($differ): a pose moved"

# 9. "Mover malla2": the drag moves mesh 2 itself, so "Centrar" cannot undo it.
click 10
drag 450 450 450 330
shot moved
stats moved $area before_drag
[ "$differ" -gt 5000 ] || fail "Mover malla2 did not move mesh 2 ($differ)"
click 11
shot moved_centred
stats moved_centred $area before_drag
[ "$differ" -gt 5000 ] || fail "mesh 2's pose did not change ($differ)"
stop

# 10. The command line loads both meshes at start.
: >"$work/answers"
start "$work/mesh1.ply" "$work/mesh2.ply"
shot command_line
stats command_line $area overlapped
[ "$differ" -lt 200 ] || fail "the command-line start differs from loading by the buttons ($differ)"
stop

echo "PASS: viewer end to end"
