#!/usr/bin/env bash
# icp_tool info reads a mesh from a file or from standard input ("-") and
# prints its counts, box and sphere; a bad file gives the reader's messages
# and exit 1. The real scans, when present, must all read; a depth camera's
# PCD frame reads as the same mesh as its PLY range-grid copy.
source "$(dirname "$0")/lib/tool_common.sh"

printf 'ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0 1 2 3\n2 0 0 1 2 3\n2 2 0 1 2 3\n0 2 0 1 2 3\n4 0 1 2 3\n' > "$dir/quad.ply"
want=$'vertices: 4\nfaces: 2\nstrips: 0\ngrid: none\ncolors: yes\nnormals: no\nconfidences: no\nbox: 0 0 0 2 2 0\nsphere: 1 1 0 1.41421'
out=$("$tool" info "$dir/quad.ply" 2>/dev/null) || fail "quad rejected"
[ "$out" = "$want" ] || fail "unexpected info for quad: $out"
out=$("$tool" info - < "$dir/quad.ply" 2>"$dir/err") || fail "quad from standard input rejected"
[ "$out" = "$want" ] || fail "unexpected info from standard input: $out"
grep -q "Reading standard input" "$dir/err" || fail "standard input not named in messages"

printf 'ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\nproperty float z\nend_header\n0 0 0\n' > "$dir/huge.ply"
"$tool" info "$dir/huge.ply" >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "huge vertex count not rejected with exit 1"
grep -q "Error reading file" "$dir/err" || fail "no reader message for a bad file"
"$tool" info - < "$dir/huge.ply" >/dev/null 2>&1 && fail "huge vertex count accepted from a pipe"

# The shared scans lie beside the repository.
data="$2/../shared/data"
ls "$data"/*/*.ply >/dev/null 2>&1 || fail "no shared scans in $data"
for f in "$data"/*/*.ply; do
  "$tool" info "$f" >"$dir/out" 2>/dev/null || fail "real scan $f rejected"
  grep -q '^vertices: [1-9]' "$dir/out" || fail "no vertices from $f"
done
for f in "$data"/*/*.pcd; do
  "$tool" convert "$f" "$dir/from_pcd.ply" 2>/dev/null || fail "real point cloud $f rejected"
  "$tool" convert "${f%.pcd}_grid.ply" "$dir/from_grid.ply" 2>/dev/null || fail "no grid copy of $f"
  cmp -s "$dir/from_pcd.ply" "$dir/from_grid.ply" || fail "$f and its grid copy read differently"
done
echo "icp_tool info: ok"
