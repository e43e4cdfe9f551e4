#!/usr/bin/env bash
# End to end, the panel's honesty under a virtual X server (Mesa software
# GL), with real clicks on the printed control centres and scripted dialog
# answers, on the bundled demo pair: a file that is no mesh chosen as mesh 1
# leaves mesh 1's appearance and every action needing both meshes unusable
# (mesh 2's appearance and " Malla 2 " stay usable), and loading mesh 1 again
# brings them back. The window's title names both files, the status area at
# the panel's top names them, the load under way and the last outcome, the
# open dialog says which mesh it is for, and at 800 x 600 the status area
# reads exactly as at the start size (the same pixels), not scrolled away. A single "ICP" run stopped
# by Esc (the shortcut of "Cancelar") says so on the console and in the status
# area, leaves mesh 2 where it was (the same picture), the pose group and
# "Grabar" as they were, and the panel usable again; meanwhile the view
# showed the scans as their point preview (the program's threshold lowered
# below the demo scans' size), and the whole meshes again after it.
# Arguments: build directory, source directory. Screenshots are left in
# <build>/panel_e2e/.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
viewer="$build/app/icp_viewer_test"
# shellcheck source=lib/e2e_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/e2e_common.sh"

if ! e2e_inner; then
  e2e_require xvfb-run xdotool import convert compare
  [ -x "$viewer" ] || fail "the program is not built in $build/app"
  e2e_rerun_under_xvfb "$@"
fi

e2e_make_work
shots="$build/panel_e2e"
rm -rf "$shots"
mkdir -p "$shots"
demo="$source_dir/data/demo"

# usable N...: the usability flags of controls N... in the layout printed last.
usable() {
  awk -v want=" $* " '$1 == "CONTROL" { flag[$2] = $NF }
    END { n = split(want, w, " "); for (i = 1; i <= n; i++) printf "%s", flag[w[i]]; print "" }' "$work/out"
}

# press N: a real click on control N where the last layout has it, then waits
# for the program to report the action.
press() {
  local x y before
  read -r x y < <(awk -v n="$1" '$1 == "CONTROL" && $2 == n { xy = $(NF - 2) " " $(NF - 1) } END { print xy }' "$work/out")
  before=$(count '^ACTIVATED' "$work/out")
  xdotool mousemove --window "$wid" "$x" "$y" click 1
  wait_count '^ACTIVATED' "$work/out" $((before + 1)) 60 || fail "a click on control $1 was not seen"
}

# Control numbers of the printed layout.
malla1=2 malla2=4 brillo1=16 brillo2=26 prealinear=41 icp=44 icp_color=45 aleatorio=46 inicial=50
radio_icp=51 grabar=55

# 1. A failed load of mesh 1 over a loaded pair.
printf 'not a mesh\n' >"$work/bad.ply"
printf '%s\n' "$work/bad.ply" "$demo/mesh1.ply" >"$work/answers"
# A pause of 2 ms per step keeps the run (about 860 steps) long enough to be
# stopped under way however fast the machine: unpaced it can end within the
# window's first event period, before any Esc is taken.
ICP_THREADS=1 e2e_launch 90 --step-pause 2 --preview-above 1000 "$demo/mesh1.ply" "$demo/mesh2.ply"
[ "$(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)" = 11111111 ] ||
  fail "after loading the pair, not every control is usable: $(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)"
readies=$(count '^PANEL_READY' "$work/out")
press $malla1
wait_for '^Imposible cargar la malla seleccionada$' "$work/out" 30 || fail "no failure line"
grep -aq '^PLATFORM open_file title="Abrir malla 1 (fija)"' "$work/out" ||
  fail "the dialog does not say it is for mesh 1: $(grep -a '^PLATFORM' "$work/out")"
grep -aq '^PANEL_TEXT Cargando malla 1: bad.ply \.\.\.$' "$work/out" ||
  fail "the status area did not say what was loading"
grep -aq '^PANEL_TEXT Imposible cargar la malla seleccionada$' "$work/out" ||
  fail "the status area does not show the failure"
wait_count '^PANEL_READY' "$work/out" $((readies + 1)) 30 || fail "the layout was not printed again"
[ "$(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)" = 10100000 ] ||
  fail "after the failed load: $(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)"
shot failed_load

# 2. Mesh 1 loaded again: everything usable again.
readies=$(count '^PANEL_READY' "$work/out")
press $malla1
wait_count '^PANEL_READY' "$work/out" $((readies + 1)) 60 || fail "the layout was not printed again"
[ "$(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)" = 11111111 ] ||
  fail "after loading mesh 1 again: $(usable $malla2 $brillo1 $brillo2 $prealinear $icp $icp_color $aleatorio $inicial)"
[ "$(xdotool getwindowname "$wid")" = "Varkel's ICP - mesh1.ply + mesh2.ply" ] ||
  fail "the title is \"$(xdotool getwindowname "$wid")\""

# 3. The status area (the panel's top 90 pixel rows) at the start size and at
#    800 x 600: the same text in the same place, dark text on the panel.
shot status_large
xdotool windowsize "$wid" 800 600
shot status_small
status_region() { convert "$shots/$1.png" -crop "296x90+$2+0" +repage "$work/$1_status.png"; }
status_region status_large 728
status_region status_small 504
changed=$(compare -metric AE "$work/status_large_status.png" "$work/status_small_status.png" null: 2>&1 || true)
dark=$(convert "$work/status_small_status.png" -threshold 50% -format '%[fx:int(w*h*(1-mean))]' info:)
echo "  status area at 800 x 600: $changed pixels differ from 1024 x 900, $dark dark pixels"
[ "$changed" -eq 0 ] || fail "the status area at 800 x 600 differs ($changed pixels)"
[ "$dark" -gt 300 ] || fail "the status area holds no text ($dark dark pixels)"
# 4. A single run cancelled by Esc, typed again and again while it runs (each
#    is taken at the run's next step; one typed before it starts is ignored).
xdotool windowsize "$wid" 1024 900
shot before_run
read -r x y < <(awk -v icp=$icp '$1 == "CONTROL" && $2 == icp { xy = $(NF - 2) " " $(NF - 1) } END { print xy }' "$work/out")
xdotool mousemove --window "$wid" "$x" "$y" click 1
for ((i = 0; i < 400; i++)); do
  grep -aq '^ICP \(cancelled\|succeeded\|failed\)' "$work/err" && break
  xdotool key Escape
  sleep 0.05
done
grep -aq '^ICP cancelled$' "$work/err" || fail "the run was not cancelled: $(grep -a '^ICP' "$work/err")"
grep -aq '^PANEL_TEXT ICP en curso' "$work/out" || fail "the status area showed no run under way"
wait_for '^PANEL_TEXT ICP cancelado$' "$work/out" 30 || fail "the status area does not say the run was cancelled"
# (A layout is printed whenever the usable controls change, so the last one
# printed is the panel after the run.)
shot after_cancel
[ "$(usable $icp $radio_icp $grabar)" = 100 ] || fail "after the cancelled run (ICP, radio ICP, Grabar): $(usable $icp $radio_icp $grabar)"
# (Each frame of the view is reported: which picture it was.)
grep -aq '^VIEW_FRAME preview' "$work/out" || fail "the view showed no preview during the run"
[ "$(grep -a '^VIEW_FRAME' "$work/out" | tail -1 | cut -d' ' -f2)" = full ] ||
  fail "the view still shows the preview after the run"
moved=$(differing 700x900+0+0 before_run after_cancel)
echo "  cancelled run: $moved pixels of the view differ"
[ "$moved" -lt 200 ] || fail "mesh 2 is not back where it was ($moved pixels differ)"
kill -0 "$pid" 2>/dev/null || fail "the program ended"
echo "PASS: panel end to end"
