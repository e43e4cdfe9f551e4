#!/usr/bin/env bash
# icp_tool convert: every written format reads back with the same counts, a
# binary PLY survives a byte-order round trip bit for bit, a written source
# file compiles and rebuilds the mesh, and failures exit 1 with a message.
source "$(dirname "$0")/lib/tool_common.sh"
src=$2
# "vertices: N" and "faces: N" of a mesh file, on one line.
counts() { "$tool" info "$1" 2>/dev/null | grep -E '^(vertices|faces):' | tr '\n' ' '; }

# A coloured unit square as ascii PLY: 4 vertices, one quad (two triangles).
cat > "$dir/sq.ply" <<'EOF'
ply
format ascii 1.0
element vertex 4
property float x
property float y
property float z
property uchar red
property uchar green
property uchar blue
element face 1
property list uchar int vertex_indices
end_header
0 0 0 255 0 0
1 0 0 0 255 0
1 1 0 0 0 255
0 1 0 10 20 30
4 0 1 2 3
EOF
want=$(counts "$dir/sq.ply")
[ "$want" = "vertices: 4 faces: 2 " ] || fail "square reads as: $want"

# Prefixes choose the format whatever the ending.
"$tool" convert "$dir/sq.ply" "asc:norm:$dir/out.dat" 2>/dev/null || fail "asc:norm: conversion"
head -2 "$dir/out.dat" | grep -q "format ascii 1.0" || fail "asc: did not write ascii PLY"
grep -q "property float nx" "$dir/out.dat" || fail "norm: wrote no normals"
[ "$(counts "$dir/out.dat")" = "$want" ] || fail "ascii PLY with normals reads back differently"

for out in x.obj x.off x.sm x.ray be:x.ply le:y.ply cflt:asc:z.ply norm:obj:n.obj; do
  file="$dir/${out##*:}"
  prefixes="${out%"${out##*:}"}"
  "$tool" convert "$dir/sq.ply" "$prefixes$file" 2>"$dir/err" || fail "convert to $out: $(cat "$dir/err")"
  [ "$(counts "$file")" = "$want" ] || fail "$out reads back as $(counts "$file")"
done
"$tool" convert "$dir/sq.ply" "$dir/x.stl" 2>/dev/null || fail "convert to stl"
[ "$(counts "$dir/x.stl")" = "vertices: 6 faces: 2 " ] || fail "stl reads back as $(counts "$dir/x.stl")"

# "-" is standard output for writing and standard input for reading.
"$tool" convert "$dir/sq.ply" "asc:-" 2>/dev/null > "$dir/piped.ply" || fail "writing to standard output"
[ "$(head -2 "$dir/piped.ply")" = $'ply\nformat ascii 1.0' ] || fail "standard output holds no ascii PLY"
"$tool" convert - "off:$dir/fromstdin.off" < "$dir/piped.ply" 2>/dev/null || fail "reading standard input"
[ "$(counts "$dir/fromstdin.off")" = "$want" ] || fail "standard input round trip"
"$tool" convert "$dir/sq.ply" "stl:-" 2>/dev/null | "$tool" convert stl:- "asc:$dir/fromstl.ply" 2>/dev/null ||
  fail "binary STL through a pipe"
[ "$(counts "$dir/fromstl.ply")" = "vertices: 6 faces: 2 " ] || fail "STL through a pipe reads back differently"

# The source file compiles and rebuilds positions, byte colours and faces.
cat > "$dir/main.cpp" <<'EOF'
#include <cmath>
#include <cstdio>
#include "TriMesh.h"
TriMesh *make_sq();
int main() {
  TriMesh *m = make_sq();
  bool ok = m->vertices.size() == 4 && m->faces.size() == 2 && m->colors.size() == 4 &&
            (m->normals.empty() || m->normals[0][2] == 1.0f) &&
            m->vertices[2][1] == 1.0f && std::fabs(m->colors[3][2] - 30 / 255.0f) < 1e-6f;
  std::printf("%s\n", ok ? "rebuilt" : "wrong");
  return ok ? 0 : 1;
}
EOF
for prefixes in "" "cflt:norm:"; do
  "$tool" convert "$dir/sq.ply" "$prefixes$dir/sq.cpp" 2>/dev/null || fail "convert to ${prefixes}source"
  c++ -std=c++17 -I"$src/mesh" -I"$src" "$dir/sq.cpp" "$dir/main.cpp" -o "$dir/rebuild" 2>"$dir/err" ||
    fail "written ${prefixes}source does not compile: $(head -5 "$dir/err")"
  "$dir/rebuild" >/dev/null || fail "written ${prefixes}source rebuilds a different mesh"
done
grep -q "normdata" "$dir/sq.cpp" || fail "norm: source has no normals"

# Real scan: binary PLY with colours and normals. Writing what was read is a
# fixed point: big-endian and back gives the identical bytes.
real="$src/../shared/data/open3d_redwood_frag115/frag_115.ply"
[ -f "$real" ] || fail "shared scan missing: $real"
"$tool" convert "$real" "norm:le:$dir/a.ply" 2>/dev/null || fail "real scan to le:"
"$tool" convert "$dir/a.ply" "norm:be:$dir/b.ply" 2>/dev/null || fail "real scan to be:"
"$tool" convert "$dir/b.ply" "norm:le:$dir/c.ply" 2>/dev/null || fail "real scan back to le:"
cmp -s "$dir/a.ply" "$dir/c.ply" || fail "byte-order round trip changed the file"
real_counts=$(counts "$dir/a.ply")
"$tool" convert "$dir/a.ply" "$dir/r.off" 2>/dev/null || fail "real scan to OFF"
"$tool" convert "$dir/a.ply" "$dir/r.stl" 2>/dev/null || fail "real scan to STL"
"$tool" convert "$dir/a.ply" "norm:asc:$dir/r.ply" 2>/dev/null || fail "real scan to ascii PLY"
[ "$(counts "$dir/r.off")" = "$real_counts" ] || fail "real scan OFF counts differ"
[ "$(counts "$dir/r.ply")" = "$real_counts" ] || fail "real scan ascii PLY counts differ"
nf=$(counts "$dir/a.ply" | sed 's/.*faces: \([0-9]*\).*/\1/')
[ "$(counts "$dir/r.stl")" = "vertices: $((3 * nf)) faces: $nf " ] || fail "real scan STL counts"

# Failures: exit 1 with the library's message; wrong usage exits 2.
"$tool" convert "$dir/missing.ply" "$dir/o.ply" 2>"$dir/err"; rc=$?
[ $rc -eq 1 ] || fail "missing input gave exit $rc"
grep -q "Error opening \[$dir/missing.ply\] for reading" "$dir/err" || fail "no message for missing input"
"$tool" convert "$dir/sq.ply" "asc:$dir/no/such/dir/o.ply" 2>"$dir/err"; rc=$?
[ $rc -eq 1 ] || fail "unwritable output gave exit $rc"
grep -q "Error opening \[$dir/no/such/dir/o.ply\] for writing" "$dir/err" || fail "no message for unwritable output"
if [ -w /dev/full ]; then
  "$tool" convert "$dir/sq.ply" "be:/dev/full" 2>"$dir/err"; rc=$?
  [ $rc -eq 1 ] || fail "full device gave exit $rc"
  grep -q "Error writing file \[/dev/full\]" "$dir/err" || fail "no message for a failed write"
fi
# A file system that is full (a file-size limit plays it): the existing output
# stays whole, no temporary is left, and the message says why.
"$tool" convert "$dir/sq.ply" "asc:$dir/kept.ply" 2>/dev/null || fail "first write of kept.ply"
cp "$dir/kept.ply" "$dir/kept.orig"
( trap '' XFSZ; ulimit -f 8; exec "$tool" convert "$dir/r.ply" "asc:$dir/kept.ply" ) 2>"$dir/err"; rc=$?
[ $rc -eq 1 ] || fail "write over the size limit gave exit $rc"
cmp -s "$dir/kept.ply" "$dir/kept.orig" || fail "a failed conversion damaged the existing output"
grep -q "File too large" "$dir/err" || fail "no reason for the failed write: $(cat "$dir/err")"
ls -A "$dir" | grep -q '^\.icp' && fail "a temporary file was left behind"

"$tool" convert "$dir/sq.ply" 2>/dev/null; rc=$?
[ $rc -eq 2 ] || fail "missing argument gave exit $rc"
echo "icp_tool convert: ok"
