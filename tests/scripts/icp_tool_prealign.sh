#!/usr/bin/env bash
# The prealignment's module is loaded only by a prealignment: `info` and a
# plain `align` never load the point-cloud library (the dynamic loader's own
# trace shows what a process loads). Scans of two different objects make
# `align --prealign` refuse with exit 1, the reason, no ICP and no pose file.
# Without the module, `prealign` and `align --prealign` fail the same way
# and say the step is unavailable, while a plain `align` works as before.
source "$(dirname "$0")/lib/tool_common.sh"

"$tool" make-pair --shape wavy --out "$dir/wavy" --vertices 3000 --seed 3 >/dev/null ||
  fail "make-pair failed"
m1="$dir/wavy/mesh1.ply"
m2="$dir/wavy/mesh2.ply"
loads_open3d() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -q 'calling init: .*[Oo]pen3[Dd]'; }

loads_open3d "$tool" info "$m1" && fail "info loads Open3D"
loads_open3d "$tool" align "$m1" "$m2" && fail "a plain align loads Open3D"
if [ -f "$build/lib/varkel_icp/icp_open3d.so" ]; then
  loads_open3d "$tool" prealign "$m1" "$m2" || fail "prealign does not load Open3D (the check above proves nothing)"
  "$tool" make-pair --shape sphere --out "$dir/sphere" --vertices 3000 --seed 3 >/dev/null
  "$tool" align "$dir/sphere/mesh1.ply" "$m2" --prealign --out "$dir/pose.xf" >/dev/null 2>"$dir/err"
  [ $? -eq 1 ] || fail "align --prealign on unrelated scans: exit status not 1"
  grep -q "^Prealignment failed: no hypothesis verified (best .*fitness" "$dir/err" ||
    fail "align --prealign on unrelated scans gives no reason: $(cat "$dir/err")"
  grep -q "^ICP succeeded" "$dir/err" && fail "align --prealign ran the ICP after a refusal"
  [ -e "$dir/pose.xf" ] && fail "align --prealign wrote a pose after a refusal"
fi

export ICP_OPEN3D_MODULE="$dir/no_such_module.so"
"$tool" prealign "$m1" "$m2" >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "prealign without the module: exit status not 1"
grep -q "^Prealignment failed: prealignment is unavailable: module" "$dir/err" ||
  fail "prealign without the module does not say so: $(cat "$dir/err")"
"$tool" align "$m1" "$m2" --prealign --out "$dir/pose.xf" >/dev/null 2>"$dir/err"
[ $? -eq 1 ] || fail "align --prealign without the module: exit status not 1"
grep -q "^ICP succeeded" "$dir/err" && fail "align --prealign ran the ICP after a refusal"
[ -e "$dir/pose.xf" ] && fail "align --prealign wrote a pose after a refusal"
"$tool" align "$m1" "$m2" >/dev/null 2>"$dir/err" || fail "plain align fails without the module"
unset ICP_OPEN3D_MODULE
echo "icp_tool prealign: ok"
