#!/usr/bin/env bash
# icp_tool align brings a shifted copy of a generated scan back onto its known
# pose with both ICP variants, prints the program's result line, writes the
# final pose for --out, and refuses bad arguments, unreadable files and a
# colour alignment of colourless meshes with exit 2.
source "$(dirname "$0")/lib/tool_common.sh"

"$tool" make-pair --shape wavy --out "$dir/pair" --vertices 3000 --seed 4 >/dev/null ||
  fail "make-pair failed"
# The moving scan starts 1 cm (5 % of its size) away from its true pose.
cp "$dir/pair/mesh2.ply" "$dir/moved.ply"
awk 'NR <= 3 { $4 = $4 + 0.01 } { print }' "$dir/pair/mesh2.xf" > "$dir/moved.xf"

# Largest absolute difference of two pose files, entry by entry.
max_diff() { paste -d' ' "$1" "$2" | awk '{ for (i = 1; i <= 4; i++) { d = $i - $(i + 4); if (d < 0) d = -d; if (d > m) m = d } } END { printf "%.6f\n", m }'; }

for variant in "" "--color"; do
  "$tool" align "$dir/pair/mesh1.ply" "$dir/moved.ply" $variant --out "$dir/out.xf" 2>"$dir/log"
  status=$?
  [ $status -eq 0 ] || { tail -5 "$dir/log"; fail "align $variant exited $status"; }
  grep -Eq '^ICP succeeded - distance = [0-9]+\.[0-9]{6}$' "$dir/log" || fail "no result line ($variant)"
  grep -q '^Did [0-9]* iterations$' "$dir/log" || fail "no iteration summary ($variant)"
  diff=$(max_diff "$dir/out.xf" "$dir/pair/mesh2.xf")
  awk -v d="$diff" 'BEGIN { exit !(d < 0.002) }' || fail "pose off by $diff after align $variant"
done

# The debugging pose file lives in a folder of the user's own: a link or a pipe
# another user planted in the shared temporary folder is never written to,
# never blocks a run, and ICP_DEBUG_POSE=0 turns the file off.
mkdir -m 700 "$dir/run" "$dir/shared" && chmod 1777 "$dir/shared"
echo private > "$dir/victim"
ln -s "$dir/victim" "$dir/shared/prueba.xf"
debug_align() { timeout 60 env TMPDIR="$dir/shared" "$@" "$tool" align "$dir/pair/mesh1.ply" "$dir/moved.ply" 2>/dev/null; }
debug_align XDG_RUNTIME_DIR="$dir/run" || fail "align with a planted link failed"
[ "$(cat "$dir/victim")" = private ] || fail "debug pose written through a planted link"
[ "$(wc -l < "$dir/run/prueba.xf")" -eq 4 ] || fail "no debug pose in the user's runtime folder"
rm "$dir/run/prueba.xf" && mkfifo "$dir/run/prueba.xf"
debug_align XDG_RUNTIME_DIR="$dir/run" || fail "align blocked or failed on a pipe at the debug pose"
rm "$dir/run/prueba.xf"
debug_align XDG_RUNTIME_DIR="$dir/run" ICP_DEBUG_POSE=0 || fail "align with the debug pose off"
[ ! -e "$dir/run/prueba.xf" ] || fail "ICP_DEBUG_POSE=0 still wrote the debug pose"
chmod 777 "$dir/run"  # a runtime folder open to others is passed over for the cache
debug_align XDG_RUNTIME_DIR="$dir/run" XDG_CACHE_HOME="$dir/cache" || fail "align with a cache folder"
[ ! -e "$dir/run/prueba.xf" ] && [ -s "$dir/cache/icp_tool/prueba.xf" ] || fail "debug pose not in the cache folder"

"$tool" align "$dir/pair/mesh1.ply" 2>/dev/null; [ $? -eq 2 ] || fail "one file accepted"
"$tool" align a b --bogus 2>/dev/null; [ $? -eq 2 ] || fail "unknown option accepted"
"$tool" align "$dir/pair/mesh1.ply" "$dir/missing.ply" 2>"$dir/err"
[ $? -eq 2 ] || fail "missing file not exit 2"
grep -q "cannot read mesh" "$dir/err" || fail "no clear message for a missing file"

printf 'ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3\n' > "$dir/plain.ply"
"$tool" align "$dir/plain.ply" "$dir/plain.ply" --color 2>"$dir/err"
[ $? -eq 2 ] || fail "colour alignment of colourless meshes not exit 2"
grep -q "no per-vertex colours" "$dir/err" || fail "no clear message for missing colours"
echo "icp_tool align: ok"
