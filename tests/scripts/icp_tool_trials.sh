#!/usr/bin/env bash
# icp_tool trials runs the windowless batch: console lines, the log with its
# three count lines (Windows-1252), the per-trial files, the pose outcome
# line, the basin picture (valid SVG, one mark per trial and variant), no
# progress line when standard error is not a terminal, and clean refusals.
source "$(dirname "$0")/lib/tool_common.sh"

"$tool" make-pair --shape wavy --out "$dir/pair" --vertices 1500 --seed 4 >/dev/null 2>&1 \
  || fail "make-pair failed"
out=$("$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/run.txt" \
  --count 5 --seed 9 2>"$dir/progress") || fail "trials exited $?"
expected_start=$'posicion inicial\n\nEnsayo 0\nCOLOR 0\nposicion inicial\n\nEnsayo 1\nCOLOR 1\nposicion inicial\n\nEnsayo 2\n'
[ "${out:0:${#expected_start}}" = "$expected_start" ] || fail "console lines: $out"
[ "$(echo "$out" | wc -l)" -eq 24 ] || fail "expected one line per count and the pose line at the end"
echo "$out" | tail -1 | grep -Eq '^Pose recuperada \(< 1 grado, < 1% diagonal\): ICP [0-5] de 5, ICP_Color [0-5] de 5$' \
  || fail "pose outcome line: $(echo "$out" | tail -1)"
grep -q $'\r' "$dir/progress" && fail "progress line written to a file"

[ "$(wc -l < "$dir/run.txt")" -eq 8 ] || fail "log should hold 5 trial lines and 3 counts"
head -1 "$dir/run.txt" | grep -Eq $'^Ensayo 1, error: [0-9.]+\terror: [0-9.]+$' || fail "log line format"
printf 'S\xf3lo color: ' > "$dir/expect"
grep -q -F -f "$dir/expect" "$dir/run.txt" || fail "count line not in Windows-1252"
for n in 1 2; do
  for f in ".vkl" "_PosInicial.xf" "_PosICP.xf" "_PosICPcolor.xf" "_error.xls"; do
    [ -s "$dir/run_$n$f" ] || fail "missing run_$n$f"
  done
done

python3 - "$dir/run_basin.svg" <<'PY' || fail "basin picture"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "{http://www.w3.org/2000/svg}svg", root.tag
marks = [g for g in root.iter("{http://www.w3.org/2000/svg}g") if g.get("class") == "mark"]
got = sorted((g.get("data-trial"), g.get("data-variant")) for g in marks)
want = sorted((str(t), v) for t in range(1, 6) for v in ("icp", "icp_color"))
assert got == want, got
PY

# Same seed, same perturbations: the start poses repeat exactly.
"$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/again.txt" \
  --count 1 --seed 9 >/dev/null 2>&1 || fail "second batch failed"
cmp -s "$dir/run_1_PosInicial.xf" "$dir/again_1_PosInicial.xf" || fail "seed does not repeat the start"

# A trial whose files cannot be written (a folder holds one of its names) leaves
# no partial set, is counted at the end, and fails the run.
mkdir -p "$dir/blocked/b_2_PosICP.xf"
"$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/blocked/b.txt" \
  --count 2 --seed 9 >"$dir/out" 2>/dev/null
[ $? -eq 1 ] || fail "unwritten result files not reported by exit status 1"
grep -qx "Result files not written for 1 of 2 trials." "$dir/out" || fail "no unwritten count"
[ -s "$dir/blocked/b_1_error.xls" ] || fail "trial 1 lost its files"
[ ! -e "$dir/blocked/b_2.vkl" ] || fail "trial 2 left a partial set"
# A basin picture that cannot be written (a folder at its name) fails the run too.
mkdir -p "$dir/blocked/c_basin.svg"
"$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/blocked/c.txt" \
  --count 1 --seed 9 >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "unwritten basin picture not reported by exit status 1"
grep -q "c_basin.svg" "$dir/err" || fail "no message for the basin picture"

# Runs that fail are logged with the unset error and never counted as good: a
# one-vertex moving scan (the engine refuses it), and a pair at 1e30 scale
# (its results are not finite; no pose file may hold NaNs). At 1e30 scale even
# the starts would not be finite: the batch is refused before the log.
printf 'ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n0 0 0 9 9 9\n' > "$dir/one.ply"
mkdir "$dir/huge" "$dir/huger"
for k in 1 2; do
  "$tool" convert "$dir/pair/mesh$k.ply" "asc:$dir/huge/a$k.ply" 2>/dev/null || fail "convert to ascii"
  for s in 19 30; do
    awk -v s=1e$s 'NF == 6 && !/[a-z]/ { $1 *= s; $2 *= s; $3 *= s } { print }' "$dir/huge/a$k.ply" \
      > "$dir/huge/mesh${k}_$s.ply"
  done
done
"$tool" trials "$dir/huge/mesh1_30.ply" "$dir/huge/mesh2_30.ply" --out "$dir/huger/x.txt" >/dev/null 2>"$dir/err"
[ $? -eq 1 ] && [ ! -e "$dir/huger/x.txt" ] || fail "a batch of non-finite starts not refused"
grep -q "not finite" "$dir/err" || fail "no clear message for non-finite starts"
# A pose file 1e300 away from its scan puts the starts out of any axis: the
# batch still ends, its basin picture small.
mkdir "$dir/far"
cp "$dir"/pair/mesh* "$dir/far/"
awk 'NR == 1 { $4 = "1e300" } { print }' "$dir/pair/mesh2.xf" > "$dir/far/mesh2.xf"
for pair in "$dir/pair/mesh1.ply $dir/one.ply" "$dir/huge/mesh1_19.ply $dir/huge/mesh2_19.ply" \
  "$dir/far/mesh1.ply $dir/far/mesh2.ply"; do
  timeout 60 "$tool" trials $pair --out "$dir/failed.txt" --count 2 --seed 9 >"$dir/out" 2>/dev/null ||
    fail "trials on failing runs exited $?"
  [ "$(wc -c < "$dir/failed_basin.svg")" -lt 20000 ] || fail "basin picture of $(wc -c < "$dir/failed_basin.svg") bytes"
  [ "$(grep -c $'^Ensayo [12], error: 999999.000000\terror: 999999.000000$' "$dir/failed.txt")" -eq 2 ] ||
    fail "failed runs not logged as unset: $(head -2 "$dir/failed.txt")"
  grep -q '^Ambos bien: 0$' "$dir/out" && ! grep -q -E 'lo (color|normal): [1-9]' "$dir/out" ||
    fail "failed runs counted as good: $(cat "$dir/out")"
  ! grep -q -i nan "$dir"/failed_*.xf || fail "a pose file holds NaN"
done

# A second batch into a log that another holds is refused, the log untouched.
cp "$dir/run.txt" "$dir/run.kept"
( flock 9; "$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/run.txt" \
    --count 1 --seed 3 >/dev/null 2>"$dir/err" ) 9>"$dir/run.txt.lock"
[ $? -eq 1 ] || fail "a batch into a held log not refused"
grep -q "held by another process" "$dir/err" || fail "no clear message for a held log: $(cat "$dir/err")"
cmp -s "$dir/run.txt" "$dir/run.kept" || fail "the refused batch changed the log"

"$tool" trials "$dir/pair/mesh1.ply" --out "$dir/x.txt" >/dev/null 2>&1
[ $? -eq 2 ] || fail "missing mesh argument not refused with status 2"
"$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out "$dir/x.txt" --count 0 >/dev/null 2>&1
[ $? -eq 2 ] || fail "count 0 not refused"
"$tool" trials "$dir/pair/mesh1.ply" "$dir/pair/mesh2.ply" --out /nonexistent/x.txt --count 1 \
  >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "unwritable log not refused"
grep -q "Cannot create the trial log" "$dir/err" || fail "no clear message for the log"
echo "icp_tool trials: ok"
