#!/usr/bin/env bash
# icp_tool pose-check prints a readable pose back and rejects a bad one with exit 1.
source "$(dirname "$0")/lib/tool_common.sh"

printf '1 0 0 0.5\n0 1 0 0\n0 0 1 0.123456789\n0 0 0 1\n' > "$dir/ok.xf"
out=$("$tool" pose-check "$dir/ok.xf") || fail "valid pose rejected"
[ "$out" = $'1 0 0 0.5\n0 1 0 0\n0 0 1 0.123457\n0 0 0 1' ] || fail "unexpected text: $out"

printf '1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1' > "$dir/noeol.xf"
"$tool" pose-check "$dir/noeol.xf" 2>"$dir/err" && fail "file ending at the sixteenth number accepted"
[ $? -eq 1 ] || fail "wrong exit status"
grep -q "not a readable pose.*: it ends right after its sixteenth number" "$dir/err" || fail "no clear message"
mkfifo "$dir/pipe.xf"
timeout 10 "$tool" pose-check "$dir/pipe.xf" 2>"$dir/err"
[ $? -eq 1 ] || fail "a pipe at the pose file's name was waited on or accepted"
grep -q "is not a regular file" "$dir/err" || fail "no reason for the pipe"
"$tool" --help | grep -q "pose-check FILE" || fail "usage text lacks pose-check"
echo "icp_tool pose-check: ok"
