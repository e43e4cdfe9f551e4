#!/usr/bin/env bash
# icp_tool align --json: one JSON object on standard output whose pose is the
# one written to --out, whose error is the one the console line gives, with
# figures in range; a failed run still prints its object, says ok false and
# exits 1.
source "$(dirname "$0")/lib/tool_common.sh"
source_dir=$2

cp "$source_dir"/data/demo/mesh* "$dir/"
# Start a little away from the true pose, as a user would.
awk 'NR == 1 { $2 += 0.02; $4 += 0.005 } NR == 2 { $1 -= 0.02 } { print }' \
  "$source_dir/data/demo/mesh2.xf" > "$dir/mesh2.xf"
cp "$dir/mesh2.ply" "$dir/far.ply"
awk 'NR <= 3 { $4 += 100 } { print }' "$dir/mesh2.xf" > "$dir/far.xf"  # far beyond reach

"$tool" align "$dir/mesh1.ply" "$dir/mesh2.ply" --color --json --out "$dir/out.xf" \
  >"$dir/ok.json" 2>"$dir/ok.err" || fail "align --json exited $?"
"$tool" align "$dir/mesh1.ply" "$dir/far.ply" --json >"$dir/far.json" 2>/dev/null
[ $? -eq 1 ] || fail "a failed alignment did not exit 1"
"$tool" align "$dir/mesh1.ply" "$dir/far.ply" --prealign --json >"$dir/pre.json" 2>/dev/null
echo $? > "$dir/pre.status"

python3 - "$dir" <<'PY' || fail "align --json output"
import json, re, sys
d = sys.argv[1]
text = open(f"{d}/ok.json").read()
assert text.count("\n") == 1 and text.endswith("}\n"), "not one object on one line"
r = json.loads(text)
assert r["ok"] is True and r["method"] == "icp_color", r
written = [[float(x) for x in line.split()] for line in open(f"{d}/out.xf")]
for row, want in zip(r["pose"], written):
    assert all(abs(a - b) <= 1e-5 * max(1, abs(b)) for a, b in zip(row, want)), (row, want)
said = re.search(r"ICP succeeded - distance = (\S+)", open(f"{d}/ok.err").read()).group(1)
assert "%f" % r["final_error"] == said, (r["final_error"], said)
assert r["iterations"] > 0 and r["milliseconds"] > 0 and r["pairs"] > 0, r
assert 0 < r["pair_rms"] < 0.01 and 0 < r["overlap_share"] <= 1, r  # demo diagonal ~0.3
assert "prealign" not in r
far = json.loads(open(f"{d}/far.json").read())
assert far["ok"] is False and far["final_error"] is None and far["pairs"] == 0, far
assert abs(far["pose"][0][3] - written[0][3] - 100) < 0.05, far["pose"]  # left at its start
# The prealignment's outcome is reported; its verdict matches the exit status.
pre, status = json.loads(open(f"{d}/pre.json").read()), int(open(f"{d}/pre.status").read())
p = pre["prealign"]
assert set(p) == {"found", "fitness", "milliseconds", "message"} and p["message"], p
assert pre["ok"] == (status == 0) and (status == 0) <= p["found"], (pre, status)
if p["found"]:  # placed from 100 diagonals away, then refined: back near the true pose
    assert 0.3 <= p["fitness"] <= 1 and abs(pre["pose"][0][3] - written[0][3]) < 0.01, pre
PY
echo "icp_tool align --json: ok"
