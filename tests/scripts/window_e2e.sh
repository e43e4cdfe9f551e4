#!/usr/bin/env bash
# End to end, the program's window under a virtual X server (Mesa software
# GL): it starts with a white 3-D area and the panel at the right; a real
# click on a disabled control does nothing while one on an enabled control
# runs it; "SALIR" answered No keeps the program running and answered Yes
# ends it with status 0; the panel stays docked when the window is resized;
# closing the window ends it without the question;
# without a display it says so and fails. Uses the test build of the program
# (icp_viewer_test: scripted answers, prints control centres and actions),
# and the shipped program for its desktop quit dialog (default answer No).
# Arguments: build directory, source directory.
set -euo pipefail
build=$(cd "$1" && pwd)
viewer="$build/app/icp_viewer_test"
shipped="$build/app/icp_viewer"
# shellcheck source=lib/e2e_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/e2e_common.sh"

if ! e2e_inner; then
  e2e_require xvfb-run xdotool import convert cc
  [ -x "$viewer" ] && [ -x "$shipped" ] || fail "the program is not built in $build/app"

  # Without a display: one clear line, status 1.
  set +e
  msg=$(env -u DISPLAY -u WAYLAND_DISPLAY "$shipped" 2>&1 >/dev/null)
  rc=$?
  set -e
  [ "$rc" -eq 1 ] || fail "without a display the status is $rc, not 1"
  [ "$(printf '%s\n' "$msg" | wc -l)" -eq 1 ] || fail "without a display: not one line: $msg"
  printf '%s\n' "$msg" | grep -qi "display" || fail "the no-display line does not say so: $msg"

  e2e_rerun_under_xvfb "$@"
fi

e2e_make_work

# What a window manager sends when the user clicks a window's close box.
cc -x c -o "$work/close_window" - -lX11 <<'EOF'
#include <X11/Xlib.h>
#include <stdlib.h>
#include <string.h>
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = (Window)strtoul(argv[1], NULL, 0);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  XCloseDisplay(d);
  return 0;
}
EOF

# wait_exit SECONDS: waits for the program to end; sets $status.
wait_exit() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program is still running"
  set +e
  wait "$pid"
  status=$?
  set -e
  pid=""
}

# start ANSWERS...: runs the program with these scripted answers.
start() {
  printf '%s\n' "$@" >"$work/answers"
  e2e_launch 60
}

# click KIND LABEL: a real click at the control's printed centre.
click() {
  local xy
  xy=$(centre_of "$1" "$2")
  [ -n "$xy" ] || fail "no $1 \"$2\" in the printed layout"
  # shellcheck disable=SC2086
  xdotool mousemove --window "$wid" $xy click 1
}

# 1. Start-up: a white 3-D area and the panel at the right.
start no yes
cp "$work/out" "$work/layout"
import -window "$wid" "$work/shot.png"
cp "$work/shot.png" "$build/window_e2e_shot.png"
size=$(convert "$work/shot.png" -format '%w %h' info:)
[ "$size" = "1024 900" ] || fail "window is $size, not 1024 x 900"
white=$(convert "$work/shot.png" -crop 700x900+0+0 +repage -format '%[fx:minima]' info:)
[ "$white" = "1" ] || fail "the 3-D area is not all white (darkest $white)"
panel_mean=$(convert "$work/shot.png" -crop 280x850+734+10 +repage -format '%[fx:mean<0.97 && minima<0.3]' info:)
[ "$panel_mean" = "1" ] || fail "no panel with dark text on the right"
grep -aq '^CONTROL 56 button "SALIR" [0-9]* [0-9]* 1$' "$work/out" || fail "SALIR not laid out and usable"

# 2. A click on the disabled "ICP" does nothing; one on "Centrar" runs it.
click button "ICP"
click button "Centrar"
wait_for '^ACTIVATED button "Centrar" id=0' "$work/out" 10 || fail "a click on Centrar was not seen"
grep -aq '^ACTIVATED button "ICP"' "$work/out" && fail "the disabled ICP button reacted"

# 3. "SALIR" answered No: the question with its Windows-1252 text, still running.
click button "SALIR"
wait_for '^PLATFORM ask_yes_no title="Salir"' "$work/out" 10 || fail "SALIR asked nothing"
grep -aq $'text="\xbfDesea salir del programa? El alineamiento puede ser interrumpido" answer="no"' \
  "$work/out" || fail "wrong quit question: $(grep -a PLATFORM "$work/out")"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended after No"

# 4. "SALIR" answered Yes: status 0.
click button "SALIR"
wait_exit 20
[ "$status" -eq 0 ] || fail "SALIR then Yes ended with status $status"
[ "$(grep -ac '^PLATFORM ask_yes_no' "$work/out")" -eq 2 ] || fail "expected two questions"

# 5. A resized window keeps the panel docked at its right edge; closing the
#    window ends the program, status 0, without the question.
start yes
xdotool windowsize "$wid" 800 600
sleep 1.5
import -window "$wid" "$work/small.png"
size=$(convert "$work/small.png" -format '%w %h' info:)
[ "$size" = "800 600" ] || fail "resized window is $size, not 800 x 600"
white=$(convert "$work/small.png" -crop 490x600+0+0 +repage -format '%[fx:minima]' info:)
[ "$white" = "1" ] || fail "after resizing, the 3-D area is not all white (darkest $white)"
docked=$(convert "$work/small.png" -crop 280x580+510+10 +repage -format '%[fx:mean<0.97 && minima<0.3]' info:)
[ "$docked" = "1" ] || fail "after resizing, no panel at the right edge"
"$work/close_window" "$wid"
wait_exit 20
[ "$status" -eq 0 ] || fail "closing the window ended with status $status"
grep -aq '^PLATFORM' "$work/out" && fail "closing the window asked: $(grep -a PLATFORM "$work/out")"

# 6. The shipped program asks with a desktop dialog titled "Salir" whose
#    default answer is No: Return keeps the program running.
"$shipped" >"$work/out" 2>"$work/err" &
pid=$!
wid=$(xdotool search --sync --name "^Varkel's ICP\$" | head -1)
sleep 1
click button "SALIR"
dialog=$(timeout 20 xdotool search --sync --name "^Salir\$" | head -1) || true
[ -n "$dialog" ] || fail "the shipped program showed no quit dialog"
xdotool mousemove --window "$dialog" 20 20
sleep 0.5
xdotool key Return
for ((i = 0; i < 50; i++)); do
  xdotool search --name "^Salir\$" >/dev/null || break
  sleep 0.1
done
xdotool search --name "^Salir\$" >/dev/null && fail "Return did not close the quit dialog"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the default answer of the quit dialog ended the program"
"$work/close_window" "$wid"
wait_exit 20
[ "$status" -eq 0 ] || fail "closing the shipped program's window ended with status $status"

echo "PASS: window end to end"
