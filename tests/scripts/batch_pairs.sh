#!/usr/bin/env bash
# scripts/batch_pairs.sh runs one trial batch per listed pair and tabulates
# each log's three counts; a batch that fails and a malformed list are
# reported, not hidden.
source "$(dirname "$0")/lib/tool_common.sh"
src=$2
command -v parallel >/dev/null || { echo "SKIP: GNU parallel is not installed"; exit 0; }

"$tool" make-pair --shape wavy --out "$dir/pair" --vertices 1500 --seed 4 >/dev/null 2>&1 \
  || fail "make-pair failed"
p="$dir/pair"
cat > "$dir/list" <<LIST
# fixed moving log
$p/mesh1.ply $p/mesh2.ply $dir/a/run.txt

$p/mesh2.ply	$p/mesh1.ply	$dir/b/run.txt
$p/mesh1.ply $dir/missing.ply $dir/c/run.txt
LIST
mkdir -p "$dir/a" "$dir/b" "$dir/c"
table=$("$src/scripts/batch_pairs.sh" "$dir/list" --count 2 --seed 9 --tool "$tool" --jobs 2)
[ $? -eq 1 ] || fail "a failed pair should give status 1"
[ "$(echo "$table" | wc -l)" -eq 4 ] || fail "expected a header and three rows: $table"

# Each row repeats its own log's counts, the same as a batch run alone gives.
"$tool" trials "$p/mesh1.ply" "$p/mesh2.ply" --out "$dir/alone.txt" --count 2 --seed 9 >/dev/null 2>&1
expected=$(tail -n 3 "$dir/alone.txt" | LC_ALL=C sed 's/.*: //' | paste -sd '\t' -)
row=$(echo "$table" | sed -n 2p)
[ "$row" = "$p/mesh1.ply	$p/mesh2.ply	$dir/a/run.txt	$expected" ] || fail "row 1: $row"
[ -s "$dir/b/run_2_PosICPcolor.xf" ] || fail "second pair's trial files missing"
echo "$table" | sed -n 4p | grep -q $'\tfailed\tfailed\tfailed$' || fail "missing mesh not reported"
grep -q "cannot read mesh" "$dir/c/run.console" || fail "the failed job's console output was not kept"

# --summary-only rebuilds the same table from the logs without running.
again=$("$src/scripts/batch_pairs.sh" "$dir/list" --summary-only)
[ "$again" = "$table" ] || fail "summary differs from the run's table"

# Two lines into one output (here the same base under another ending) are refused.
printf '%s\n' "$p/mesh1.ply $p/mesh2.ply $dir/a/run.txt" "# note" "$p/mesh2.ply $p/mesh1.ply $dir/a/../a/run.log" > "$dir/twice"
"$src/scripts/batch_pairs.sh" "$dir/twice" --tool "$tool" >/dev/null 2>"$dir/err"
[ $? -eq 2 ] || fail "a list naming one output twice should be refused with status 2"
grep -q "lines 1 and 3 write the same output" "$dir/err" || fail "no clear message for a repeated output"

echo "$p/mesh1.ply $p/mesh2.ply" > "$dir/bad"
"$src/scripts/batch_pairs.sh" "$dir/bad" --tool "$tool" >/dev/null 2>"$dir/err"
[ $? -eq 2 ] || fail "a line without OUT should be refused with status 2"
grep -q "line 1: expected FIXED MOVING OUT" "$dir/err" || fail "no clear message for the bad line"
echo "batch_pairs: ok"
