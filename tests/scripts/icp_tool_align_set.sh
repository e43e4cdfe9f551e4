#!/usr/bin/env bash
# align-set on a made set of four overlapping scans plus a scan of another
# object, every scan in a frame of its own (--ignore-poses): the four are
# placed where their made poses put them relative to scan01, the odd one is
# left out and reported, the exit status says not all were placed, and one
# thread gives the same files as all of them; the merged model reads back.
source "$(dirname "$0")/lib/tool_common.sh"
[ -f "$build/lib/varkel_icp/icp_open3d.so" ] || { echo "icp_tool align-set: skipped (no module)"; exit 0; }

"$tool" make-pair --shape wavy --scans 4 --vertices 2000 --seed 2 --out "$dir/set" >/dev/null ||
  fail "make-pair --scans failed"
"$tool" make-pair --shape sphere --vertices 2000 --out "$dir/other" >/dev/null
cp "$dir/other/mesh1.ply" "$dir/set/odd.ply"
scans=("$dir"/set/scan0?.ply "$dir/set/odd.ply")

ICP_THREADS=1 "$tool" align-set "${scans[@]}" --out "$dir/one" --ignore-poses >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "a set with a lone scan: exit status not 1"
"$tool" align-set "${scans[@]}" --out "$dir/all" --ignore-poses --merged "$dir/model.ply" \
  --voxel 0.01 >/dev/null 2>&1
"$tool" info "$dir/model.ply" 2>/dev/null | grep -q "^vertices: [1-9]" || fail "the merged model does not read back"
grep -q "^Scans placed: 4 of 5, in the frame of scan01" "$dir/err" || fail "report: $(cat "$dir/err")"
grep -q "^Left out: odd (no pair with it verified" "$dir/all/report.txt" || fail "odd scan not reported"
[ -e "$dir/all/odd.xf" ] && fail "the lone scan was given a pose"
[ "$(wc -l < "$dir/all/pairs.csv")" -eq 11 ] || fail "pairs.csv does not hold 10 pairs"
for f in scan01.xf scan02.xf scan03.xf scan04.xf pairs.csv; do
  cmp -s "$dir/one/$f" "$dir/all/$f" || fail "$f differs between one thread and all"
done

# Found pose of scan k against inv(pose of scan01) * pose of scan k from the
# made files: rotation entries within 0.01, shifts within 2 mm.
for k in 1 2 3 4; do
  awk -v label="scan0$k" '
    FILENAME == ARGV[1] { for (c = 1; c <= 4; c++) a[FNR, c] = $c }
    FILENAME == ARGV[2] { for (c = 1; c <= 4; c++) b[FNR, c] = $c }
    FILENAME == ARGV[3] { for (c = 1; c <= 4; c++) f[FNR, c] = $c }
    END {
      # inv(a) of a rigid pose: transposed rotation, shift -R^T t.
      for (r = 1; r <= 3; r++) {
        for (c = 1; c <= 3; c++) ia[r, c] = a[c, r]
        ia[r, 4] = -(a[1, r] * a[1, 4] + a[2, r] * a[2, 4] + a[3, r] * a[3, 4])
      }
      bad = 0
      for (r = 1; r <= 3; r++) for (c = 1; c <= 4; c++) {
        e = (c == 4 ? ia[r, 4] : 0)
        for (m = 1; m <= 3; m++) e += ia[r, m] * b[m, c]
        d = e - f[r, c]; if (d < 0) d = -d
        if (d > (c == 4 ? 0.002 : 0.01)) bad = 1
      }
      if (bad) { print "FAIL: " label " placed wrongly"; exit 1 }
    }' "$dir/set/scan01.xf" "$dir/set/scan0$k.xf" "$dir/all/scan0$k.xf" || exit 1
done
echo "icp_tool align-set: ok"
