#!/usr/bin/env bash
# Every command of icp_tool answers --help with its usage on standard output
# and status 0, whatever else is on the line; --version prints the version
# set in the top-level CMakeLists.txt.
source "$(dirname "$0")/lib/tool_common.sh"
source_dir=$2

commands=$("$tool" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p')
[ "$(echo "$commands" | wc -w)" -ge 7 ] || fail "top-level help lists too few commands: $commands"
for c in $commands; do
  for extra in "" "a.ply b.ply" "--no-such-option"; do
    # shellcheck disable=SC2086
    out=$("$tool" "$c" $extra --help 2>"$dir/err") || fail "$c $extra --help exited $?"
    [[ "$out" == "usage: icp_tool $c"* ]] || fail "$c --help printed: $out"
    [ ! -s "$dir/err" ] || fail "$c --help wrote to stderr: $(cat "$dir/err")"
  done
done

version=$(sed -n 's/^project(varkel_icp VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
[ "$("$tool" --version)" = "icp_tool $version" ] || fail "--version: $("$tool" --version)"
echo "icp_tool help: ok"
