#!/usr/bin/env bash
# End to end, the trial batch in the window under a virtual X server (Mesa
# software GL), with real clicks on the printed control centres: the bundled
# demo pair, "ICP" and "ICP_Color" (the picture kept as
# <build>/batch_e2e/aligned.png), then "Aleatorio" with a scripted log name.
# While the batch runs the panel's progress line moves on ("Ensayo 1 / 100",
# then a later trial), the 3-D view is redrawn with mesh 2 elsewhere, every
# other control is unusable and "Cancelar" is shown; "Cancelar" stops it: the
# console says so, the log holds one whole line per finished trial and the
# three count lines, every finished trial has its five files, the next one
# none, the basin picture lies beside the log, and the panel is usable again.
# A second batch ended by closing the window is cancelled the same way.
# Arguments: build directory, source directory.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
viewer="$build/app/icp_viewer_test"
# shellcheck source=lib/e2e_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/e2e_common.sh"

if ! e2e_inner; then
  e2e_require xvfb-run xdotool import convert compare python3
  [ -x "$viewer" ] || fail "the program is not built in $build/app"
  e2e_rerun_under_xvfb "$@"
fi

e2e_make_work
shots="$build/batch_e2e"
rm -rf "$shots"
mkdir -p "$shots" "$work/batch"
printf '%s\n' "$work/batch/run.txt" "$work/batch/closed.txt" >"$work/answers"

# centre_now LABEL: the centre and usability ("X Y U") of the button LABEL
# in the layout the program printed last (it prints it again whenever a
# control is shown or hidden).
centre_now() {
  awk -v l="\"$1\"" '$1 == "CONTROL" && $3 == "button" { label = $0; sub(/^CONTROL [0-9]+ [a-z]+ /, "", label)
      sub(/ -?[0-9]+ -?[0-9]+ [01]$/, "", label); if (label == l) last = $(NF - 2) " " $(NF - 1) " " $NF }
    END { print last }' "$work/out"
}

# press LABEL: a real click on LABEL where the last layout has it, once the
# layout shows it usable (the panel reports its controls a few frames after
# the console line that unlocks them; 30 s at most).
press() {
  local x y usable before i
  for ((i = 0; i < 300; i++)); do
    read -r x y usable < <(centre_now "$1")
    [ "${usable:-0}" = 1 ] && break
    sleep 0.1
  done
  [ "${usable:-0}" = 1 ] || fail "\"$1\" is not usable ($x $y $usable)"
  before=$(count '^ACTIVATED' "$work/out")
  xdotool mousemove --window "$wid" "$x" "$y" click 1
  wait_count '^ACTIVATED' "$work/out" $((before + 1)) 60 || fail "a click on \"$1\" was not seen"
}

area=700x900+0+0  # the 3-D area (the panel starts at x = 724)

e2e_launch 90 "$source_dir/data/demo/mesh1.ply" "$source_dir/data/demo/mesh2.ply"
[ "$(centre_now Cancelar)" = "-1 -1 0" ] || fail "\"Cancelar\" is shown before a batch: $(centre_now Cancelar)"
press ICP
wait_count '^ICP succeeded' "$work/err" 1 120 || fail "ICP printed no success"
press ICP_Color
wait_count '^ICP succeeded' "$work/err" 2 120 || fail "ICP_Color printed no success"
shot aligned

# The batch: progress moves on and the view is redrawn while it runs.
readies=$(count '^PANEL_READY' "$work/out")
press Aleatorio
wait_for '^PANEL_TEXT Ensayo 1 / 100$' "$work/out" 60 || fail "no progress line for the first trial"
wait_count '^PANEL_READY' "$work/out" $((readies + 1)) 60 || fail "the layout was not printed again"
[ "$(centre_now Aleatorio | cut -d' ' -f3)" = 0 ] || fail "\"Aleatorio\" is usable during the batch"
[ "$(centre_now ICP | cut -d' ' -f3)" = 0 ] || fail "\"ICP\" is usable during the batch"
shot running_first
wait_for '^PANEL_TEXT Ensayo 3 / 100$' "$work/out" 120 || fail "the progress line did not move on"
# Every trial's result lies near the same pose, so one later picture may
# happen to match the first; the view must differ in one of a few pictures.
for ((i = 1; i <= 8; i++)); do
  shot running_later
  changed=$(differing "$area" running_first running_later)
  [ "$changed" -gt 1000 ] && break
done
echo "  3-D view during the batch: $changed pixels changed"
[ "$changed" -gt 1000 ] || fail "the view was not redrawn during the batch ($changed)"
changed=$(differing 300x900+724+0 running_first running_later)
[ "$changed" -gt 20 ] || fail "the panel did not change during the batch ($changed)"

# "Cancelar": the batch ends after the run under way.
readies=$(count '^PANEL_READY' "$work/out")
press Cancelar
wait_for '^Ensayo cancelado: [0-9]* de 100 ensayos terminados$' "$work/out" 120 ||
  fail "no cancellation line"
done_trials=$(sed -n 's/^Ensayo cancelado: \([0-9]*\) de 100.*/\1/p' "$work/out")
echo "  cancelled after $done_trials finished trials"
[ "$done_trials" -ge 2 ] && [ "$done_trials" -lt 100 ] || fail "finished trials: $done_trials"
log="$work/batch/run.txt"
[ "$(grep -ac '^Ensayo [0-9]*, error: [0-9.]*'$'\t''error: [0-9.]*$' "$log")" -eq "$done_trials" ] ||
  fail "the log does not hold one whole line per finished trial: $(cat "$log")"
tail -3 "$log" | head -1 | grep -aq '^Ambos bien: [0-9]*$' && tail -1 "$log" | grep -aq 'lo normal: [0-9]*$' ||
  fail "the log does not end with the count lines"
for ((n = 1; n <= done_trials; n++)); do
  for f in .vkl _PosInicial.xf _PosICP.xf _PosICPcolor.xf _error.xls; do
    [ -s "$work/batch/run_$n$f" ] || fail "finished trial $n lacks run_$n$f"
  done
done
[ -e "$work/batch/run_$((done_trials + 1)).vkl" ] && fail "the unfinished trial left files"
grep -aq '<svg' "$work/batch/run_basin.svg" || fail "no basin picture beside the log"
wait_count '^PANEL_READY' "$work/out" $((readies + 1)) 60 || fail "the layout was not printed again"
[ "$(centre_now Cancelar)" = "-1 -1 0" ] || fail "\"Cancelar\" still shown after the batch"
[ "$(centre_now Aleatorio | cut -d' ' -f3)" = 1 ] || fail "\"Aleatorio\" is not usable again"
shot after_batch
# The panel scrolled to its end shows the batch's counts, what they mean and
# the basin (the README's second picture).
xdotool mousemove --window "$wid" 870 600
for ((i = 0; i < 30; i++)); do xdotool click 5; done
shot batch_outcome
for ((i = 0; i < 30; i++)); do xdotool click 4; done
kill -0 "$pid" 2>/dev/null || fail "the program ended"

# Closing the window during a batch ends the batch as "Cancelar" does, then
# the program, with status 0.
press Aleatorio
wait_count '^PANEL_TEXT Ensayo 1 / 100$' "$work/out" 2 60 || fail "the second batch did not start"
close_window
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "closing the window during a batch ended with status $status"
[ "$(count '^Ensayo cancelado: ' "$work/out")" -eq 2 ] || fail "no cancellation line for the closed batch"
tail -1 "$work/batch/closed.txt" | grep -aq 'lo normal: [0-9]*$' || fail "the closed batch's log has no count lines"
grep -aq '<svg' "$work/batch/closed_basin.svg" || fail "no basin picture for the closed batch"
echo "PASS: batch end to end"
