#!/usr/bin/env bash
# End to end, one user's journey through the panel under a virtual X server
# (Mesa software GL), with real clicks on the printed control centres and
# scripted dialog answers: a generated scan pair whose mesh 2 starts far off
# its true pose (70 degrees and a third of its size), out of the ICPs' reach;
# "Prealinear" prints its fitness and time and moves mesh 2; "ICP_Color" then
# "ICP" each print "ICP succeeded - distance = ..." and fill the panel's
# convergence plots; the
# pose group shows a different picture for "INICIAL" and "ICP"; "Grabar"
# writes the five result files, whose summary names both scans and the
# printed errors, whose table holds both runs' steps, and whose result poses
# lie near the generated truth while the start pose does not;
# "Reset" (mesh 2's pose file now holds the truth) then "Cargar Ensayo" on
# a copy of the results and scans moved to another folder (the summary names
# the scans relative to itself) reads the moved scans and brings mesh 2 back
# at the stored start pose, without a failure line. Pictures are checked by pixel statistics, not golden images.
# Arguments: build directory, source directory. Screenshots are left in
# <build>/actions_e2e/.
set -euo pipefail
build=$(cd "$1" && pwd)
viewer="$build/app/icp_viewer_test"
tool="$build/tools/icp_tool"
# shellcheck source=lib/e2e_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/e2e_common.sh"

# On failure, the program's standard error without its loading progress.
e2e_err_tail() {
  grep -av '^ *\(Reading\|Computing\|Finding\|Building\|Done\|Removing\|center\|[0-9]* strips\)' \
    "$work/err" | tail -20
}

if ! e2e_inner; then
  e2e_require xvfb-run xdotool import convert compare python3
  [ -x "$viewer" ] || fail "the program is not built in $build/app"
  [ -x "$tool" ] || fail "icp_tool is not built in $build/tools"
  e2e_rerun_under_xvfb "$@"
fi

e2e_make_work
shots="$build/actions_e2e"
rm -rf "$shots"
mkdir -p "$shots"

# The pair, and mesh 2's true pose kept aside; mesh 2 then starts 70 degrees
# turned about its own centre and shifted by about a third of its size.
"$tool" make-pair --shape wavy --vertices 3000 --out "$work/pair" --seed 11 >/dev/null ||
  fail "make-pair failed"
cp "$work/pair/mesh2.xf" "$work/truth.xf"
centre_line=$("$tool" info "$work/pair/mesh2.ply" 2>/dev/null | awk '$1 == "sphere:" { print $2, $3, $4 }')
[ -n "$centre_line" ] || fail "icp_tool info printed no sphere for mesh 2"

cat >"$work/pose.py" <<'PY'
import math, sys

def read(path):
    v = [float(t) for t in open(path).read().split()]
    return [v[4 * r:4 * r + 4] for r in range(4)]

def write(m, path):
    with open(path, "w") as f:
        for row in m:
            f.write(" ".join("%.9g" % x for x in row) + "\n")

def mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(4)) for j in range(4)] for i in range(4)]

def apply(m, p):
    return [sum(m[i][k] * p[k] for k in range(3)) + m[i][3] for i in range(3)]

def rotation(axis, degrees, centre, shift):
    n = math.sqrt(sum(a * a for a in axis))
    x, y, z = (a / n for a in axis)
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    r = [[c + x * x * (1 - c), x * y * (1 - c) - z * s, x * z * (1 - c) + y * s],
         [y * x * (1 - c) + z * s, c + y * y * (1 - c), y * z * (1 - c) - x * s],
         [z * x * (1 - c) - y * s, z * y * (1 - c) + x * s, c + z * z * (1 - c)]]
    t = [centre[i] + shift[i] - sum(r[i][k] * centre[k] for k in range(3)) for i in range(3)]
    return [r[0] + [t[0]], r[1] + [t[1]], r[2] + [t[2]], [0, 0, 0, 1]]

def distance(a, b, local):
    """Rotation angle (degrees) between two poses, and how far apart they put `local`."""
    trace = sum(a[i][k] * b[i][k] for i in range(3) for k in range(3))
    angle = math.degrees(math.acos(max(-1.0, min(1.0, (trace - 1) / 2))))
    pa, pb = apply(a, local), apply(b, local)
    return angle, math.sqrt(sum((pa[i] - pb[i]) ** 2 for i in range(3)))

command = sys.argv[1]
if command == "perturb":      # perturb TRUTH OUT CX CY CZ
    truth = read(sys.argv[2])
    local = [float(v) for v in sys.argv[4:7]]
    centre = apply(truth, local)
    write(mul(rotation([1, 2, 0.5], 70.0, centre, [0.06, -0.04, 0.03]), truth), sys.argv[3])
elif command == "distance":   # distance A B CX CY CZ: prints degrees and offset
    angle, offset = distance(read(sys.argv[2]), read(sys.argv[3]), [float(v) for v in sys.argv[4:7]])
    print("%.4f %.6f" % (angle, offset))
elif command == "same":       # same A B: status 0 when every entry agrees to 1e-5
    a, b = read(sys.argv[2]), read(sys.argv[3])
    sys.exit(max(abs(a[i][k] - b[i][k]) for i in range(4) for k in range(4)) > 1e-5)
PY
# shellcheck disable=SC2086
python3 "$work/pose.py" perturb "$work/truth.xf" "$work/pair/mesh2.xf" $centre_line
# shellcheck disable=SC2086
read -r start_angle start_offset < <(python3 "$work/pose.py" distance "$work/pair/mesh2.xf" \
  "$work/truth.xf" $centre_line)
echo "  start pose: $start_angle degrees and $start_offset off the truth"

# click LABEL [KIND]: a real click at the centre printed for the first control
# so labelled (of that kind), then waits until the program reports the action.
click() {
  local xy before
  xy=$(centre_of "${2:-}" "$1")
  [ -n "$xy" ] || fail "no control \"$1\" in the printed layout"
  before=$(count '^ACTIVATED' "$work/out")
  # shellcheck disable=SC2086
  xdotool mousemove --window "$wid" $xy click 1
  wait_count '^ACTIVATED' "$work/out" $((before + 1)) 60 || fail "a click on \"$1\" was not seen"
}


area=700x900+0+0          # the 3-D area (the panel starts at x = 724)
comparison=290x85+729+812 # the panel below "SALIR": the convergence plots

# 1. Start on the command line; the answers: where "Grabar" saves, then
#    which summary "Cargar Ensayo" opens (the moved copy).
mkdir -p "$work/results" "$work/moved"
printf '%s\n' "$work/results/result.vkl" "$work/moved/results/result.vkl" >"$work/answers"
e2e_launch 60 "$work/pair/mesh1.ply" "$work/pair/mesh2.ply"
cp "$work/out" "$work/layout"
grep -aq '^CONTROL [0-9]* button "Grabar" [0-9]* [0-9]* 0$' "$work/layout" ||
  fail "\"Grabar\" is usable before any alignment"
shot start

# 2. The prealignment moves mesh 2 (one report line; the panel shows its
#    outcome below "Prealinear", which moves the controls under it, so the
#    layout is read again), then both alignments: one success line each, on
#    standard error.
click "Prealinear" button
wait_for "^Prealignment succeeded - fitness = [0-9.]*, residual = [0-9.]* spacings, kept .*, [0-9.]* msec\.\$" "$work/err" 60 ||
  fail "Prealinear printed no success: $(grep -a '^Prealignment' "$work/err")"
wait_count '^PANEL_READY' "$work/out" 2 30 || fail "the panel did not show the prealignment's outcome"
awk '/^CONTROL 1 /{block = ""} /^CONTROL/{block = block $0 "\n"} END{printf "%s", block}' "$work/out" >"$work/layout"
grep -aq '^CONTROL [0-9]* panel "Verificado: ajuste [0-9.]*, residuo [0-9.]*"' "$work/layout" ||
  fail "the panel does not say the prealignment was verified"
shot prealigned
moved=$(differing "$area" start prealigned)
echo "  Prealinear: $moved pixels changed"
[ "$moved" -gt 2000 ] || fail "Prealinear did not move mesh 2 ($moved)"
click "ICP_Color" button
wait_for "^ICP succeeded - distance = [0-9.]*\$" "$work/err" 60 || fail "ICP_Color printed no success"
click "ICP" button
wait_count '^ICP succeeded - distance = ' "$work/err" 2 60 || true
[ "$(count '^ICP succeeded - distance = [0-9.]*$' "$work/err")" -eq 2 ] ||
  fail "expected two success lines: $(grep -a '^ICP' "$work/err")"
grep -aq '^ICP failed' "$work/err" && fail "an alignment failed"
shot aligned
changed=$(differing "$comparison" start aligned)
echo "  convergence area: $changed pixels changed by the runs"
[ "$changed" -gt 500 ] || fail "the convergence plots did not change after the runs ($changed)"

# 3. The pose group: mesh 2 at its start pose looks different from the result.
click "INICIAL" radiobutton
shot initial
click "ICP" radiobutton
shot icp
click "ICP_COLOR" radiobutton
shot icp_color
changed=$(differing "$area" initial icp)
echo "  INICIAL vs ICP: $changed pixels differ"
[ "$changed" -gt 2000 ] || fail "INICIAL and ICP show the same picture ($changed)"
same=$(differing "$area" initial start)
[ "$same" -lt 200 ] || fail "INICIAL does not show the start picture ($same)"

# 4. "Grabar": five files; the summary names both scans; the result poses are
#    near the truth, the start pose is not.
click "Grabar" button
wait_for '^PLATFORM save_file' "$work/out" 10 || fail "Grabar asked for no file"
for suffix in .vkl _PosInicial.xf _PosICP.xf _PosICPcolor.xf _error.xls; do
  wait_for . "$work/results/result$suffix" 10 || fail "result$suffix was not written"
done
grep -aqx -- "../pair/mesh1.ply" "$work/results/result.vkl" || fail "the summary does not name mesh 1"
grep -aqx -- "../pair/mesh2.ply" "$work/results/result.vkl" || fail "the summary does not name mesh 2"
cp -r "$work/results" "$work/pair" "$work/moved/"
# The summary's errors are those the runs printed; the table has a row per step.
read -r color_error icp_error < <(sed -n 's/^ICP succeeded - distance = //p' "$work/err" | paste -sd' ')
grep -aqx "Error ICP:"$'\t\t'"$icp_error" "$work/results/result.vkl" &&
  grep -aqx "Error ICP Color:"$'\t'"$color_error" "$work/results/result.vkl" ||
  fail "the summary's errors are not the printed ones ($icp_error, $color_error)"
awk -F'\t' 'NR > 1 && $2 != "" && $4 != "" { both++ } END { exit !(NR > 10 && both > 10) }' \
  "$work/results/result_error.xls" || fail "the error table lacks the steps of both runs"
for suffix in _PosICP _PosICPcolor _PosInicial; do
  # shellcheck disable=SC2086
  read -r angle offset < <(python3 "$work/pose.py" distance "$work/results/result$suffix.xf" \
    "$work/truth.xf" $centre_line)
  echo "  result$suffix.xf: $angle degrees and $offset off the truth"
  if [ "$suffix" = _PosInicial ]; then
    python3 "$work/pose.py" same "$work/results/result$suffix.xf" "$work/pair/mesh2.xf" || fail "the stored start pose is not mesh 2's start pose"
  else
    python3 -c "import sys; sys.exit(not ($angle < 0.5 and $offset < 0.001))" ||
      fail "result$suffix.xf is not near the truth ($angle degrees, $offset)"
  fi
done

# 5. Mesh 2's own pose file now holds the truth, which "Reset" rereads: only
#    the stored start pose can bring back the start picture.
cp "$work/truth.xf" "$work/pair/mesh2.xf"
click "Reset" button
shot reset
moved=$(differing "$area" reset initial)
echo "  after Reset vs INICIAL: $moved pixels differ"
[ "$moved" -gt 2000 ] || fail "Reset did not put mesh 2 at its pose file's pose ($moved)"
click "Cargar Ensayo" button
wait_for '^PLATFORM open_file' "$work/out" 10 || fail "Cargar Ensayo asked for no file"
grep -aq "answer=\"$work/moved/results/result.vkl\"" <(grep -a '^PLATFORM open_file' "$work/out") ||
  fail "the open dialog did not get the summary: $(grep -a '^PLATFORM' "$work/out")"
shot loaded
for k in 1 2; do
  grep -aq "^Reading $work/moved/results/../pair/mesh$k.ply" "$work/err" ||
    fail "Cargar Ensayo did not read the moved mesh $k"
done
# (The status area's lines name the runs' errors; they are no failure.)
failures() { grep -ahv '^PANEL_TEXT ICP' "$work/out" "$work/err" | grep -ai 'imposible\|error\|failed\|cancelado'; }
failures >/dev/null && fail "a failure line: $(failures)"
grep -aq '^PANEL_TEXT Ensayo cargado' "$work/out" || fail "the status area does not say the trial was loaded"
same=$(differing "$area" loaded initial)
moved=$(differing "$area" loaded icp)
echo "  loaded vs INICIAL: $same pixels differ; loaded vs ICP: $moved"
[ "$same" -lt 200 ] || fail "after loading, mesh 2 is not at the start pose ($same pixels differ)"
[ "$moved" -gt 2000 ] || fail "after loading, mesh 2 looks like the ICP result ($moved)"
kill -0 "$pid" 2>/dev/null || fail "the program ended"

echo "PASS: actions end to end"
