#!/usr/bin/env bash
# icp_tool make-pair writes two range-grid PLY scans and their poses; the
# output is the same for the same seed and differs for another; with no noise
# every sphere sample, placed by its pose file, lies on the sphere (so the
# poses really map both scans into one common frame); bad arguments fail cleanly.
source "$(dirname "$0")/lib/tool_common.sh"

"$tool" make-pair --shape sphere --out "$dir/a" --vertices 3000 --noise 0 --seed 5 >/dev/null ||
  fail "make-pair failed"
for f in mesh1.ply mesh1.xf mesh2.ply mesh2.xf; do
  [ -s "$dir/a/$f" ] || fail "$f missing or empty"
done
"$tool" make-pair --shape sphere --out "$dir/b" --vertices 3000 --noise 0 --seed 5 >/dev/null
for f in mesh1.ply mesh1.xf mesh2.ply mesh2.xf; do
  cmp -s "$dir/a/$f" "$dir/b/$f" || fail "$f differs for the same seed"
done
"$tool" make-pair --shape sphere --out "$dir/c" --vertices 3000 --noise 0 --seed 6 >/dev/null
cmp -s "$dir/a/mesh1.ply" "$dir/c/mesh1.ply" && fail "mesh1.ply equal for another seed"
cmp -s "$dir/a/mesh2.xf" "$dir/c/mesh2.xf" && fail "mesh2.xf equal for another seed"
"$tool" pose-check "$dir/a/mesh2.xf" >/dev/null || fail "mesh2.xf is not a readable pose"

for shape in torus wavy plane; do
  "$tool" make-pair --shape "$shape" --out "$dir/$shape" --vertices 500 >/dev/null || fail "$shape failed"
done

# Exit 2 and a message for bad arguments; nothing is written.
for args in "--shape cube --out $dir/x" "--shape sphere" "--shape sphere --out $dir/x --vertices 5" \
            "--shape sphere --out $dir/x --noise -1" "--shape sphere --out $dir/x --seed abc" \
            "--shape sphere --out $dir/x --vertices"; do
  # shellcheck disable=SC2086
  "$tool" make-pair $args >/dev/null 2>"$dir/err"
  [ $? -eq 2 ] || fail "no usage error for: $args"
  grep -q "make-pair" "$dir/err" || fail "no message for: $args"
done
[ -e "$dir/x" ] && fail "output written despite bad arguments"

if command -v python3 >/dev/null; then
  python3 - "$dir/a" <<'EOF' || fail "file structure or poses wrong"
import struct, sys
d = sys.argv[1]
expected_header = ["ply", "format binary_little_endian 1.0", None, None, None,
                   "property float x", "property float y", "property float z",
                   "property uchar diffuse_red", "property uchar diffuse_green",
                   "property uchar diffuse_blue", None,
                   "property list uchar int vertex_indices", "end_header"]
for name in ("mesh1", "mesh2"):
    data = open(f"{d}/{name}.ply", "rb").read()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    lines = data[:end].decode().split("\n")[:-1]
    assert len(lines) == len(expected_header), lines
    for got, want in zip(lines, expected_header):
        assert want is None or got == want, (got, want)
    w, h, n = int(lines[2].split()[2]), int(lines[3].split()[2]), int(lines[4].split()[2])
    assert lines[2].startswith("obj_info num_cols") and lines[3].startswith("obj_info num_rows")
    assert lines[11] == f"element range_grid {w * h}", lines[11]
    verts = [struct.unpack_from("<fff", data, end + 15 * i) for i in range(n)]
    off, seen = end + 15 * n, []
    for _ in range(w * h):
        if data[off] == 0:
            off += 1
        else:
            assert data[off] == 1
            seen.append(struct.unpack_from("<i", data, off + 1)[0])
            off += 5
    assert off == len(data), "trailing bytes"
    assert sorted(seen) == list(range(n)), "grid must reference every vertex once"
    m = [float(x) for x in open(f"{d}/{name}.xf").read().split()]
    for x, y, z in verts:
        p = [m[4 * r] * x + m[4 * r + 1] * y + m[4 * r + 2] * z + m[4 * r + 3] for r in range(3)]
        radius = sum(c * c for c in p) ** 0.5
        assert abs(radius - 0.1) < 1e-5, f"{name}: sample at radius {radius}"
EOF
fi
echo "icp_tool make-pair: ok"
