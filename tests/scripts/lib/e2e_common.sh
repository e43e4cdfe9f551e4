# shellcheck shell=bash
# Shared by the end-to-end scripts (sourced, never run on its own): the
# skip-or-rerun start under a virtual X server, the private work directory,
# failure reports, waiting for output lines and for the program's window,
# finding a control in the printed layout, and screenshots.
#
# The sourcing script sets `viewer` (the program to start) and, when it takes
# screenshots, `shots` (where they go). The helpers keep their state in the
# globals `work` (the work directory), `pid` (the running program, or empty)
# and `wid` (its window).

# e2e_require TOOL...: prints "SKIP: TOOL is not installed" and ends the
# script with status 0 when one of the tools is missing.
e2e_require() {
  local t
  for t in "$@"; do
    command -v "$t" >/dev/null || { echo "SKIP: $t is not installed"; exit 0; }
  done
}

# e2e_inner: true when this run is the one under the virtual X server.
e2e_inner() { [ -n "${E2E_INNER:-}" ]; }

# e2e_rerun_under_xvfb ARGS...: runs this script again with ARGS under a
# virtual X server of its own (one 1280x1024 24-bit screen) and never returns.
# A random first server number keeps parallel runs apart.
e2e_rerun_under_xvfb() {
  exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24 -nolisten tcp" \
    env E2E_INNER=1 bash "$0" "$@"
}

# e2e_make_work: creates $work, removed on exit together with the program
# still running ($pid); gives the program a private HOME, in-memory desktop
# settings and software GL.
e2e_make_work() {
  work=$(mktemp -d)
  pid=""
  trap e2e_cleanup EXIT
  export HOME="$work/home" GSETTINGS_BACKEND=memory LIBGL_ALWAYS_SOFTWARE=1
  mkdir -p "$HOME"
}

e2e_cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}

# fail MESSAGE: prints "FAIL: MESSAGE", then (once $work exists) what the
# program printed, and ends the script with status 1.
fail() {
  echo "FAIL: $*"
  if [ -n "${work:-}" ]; then
    e2e_report || true
  fi
  exit 1
}

# e2e_report: what fail shows of the program; by default the end of its
# standard output without the layout lines, then e2e_err_tail. A script may
# redefine either after sourcing this file.
e2e_report() {
  [ -f "$work/out" ] || return 0
  echo "--- program output (controls omitted):"
  grep -av '^CONTROL' "$work/out" | tail -20
  e2e_err_tail
}

# e2e_err_tail: the end of the program's standard error.
e2e_err_tail() { tail -20 "$work/err"; }

# wait_for PATTERN FILE SECONDS: waits until FILE (which may not exist yet)
# has a line matching PATTERN; status 1 when it never does.
wait_for() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -aq -- "$1" "$2" && return 0
    sleep 0.1
  done
  return 1
}

# count PATTERN FILE: how many lines of FILE match.
count() { grep -ac -- "$1" "$2" || true; }

# wait_count PATTERN FILE N SECONDS: waits until at least N lines of FILE
# match; status 1 when they never do.
wait_count() {
  local i
  for ((i = 0; i < $4 * 10; i++)); do
    [ "$(count "$1" "$2")" -ge "$3" ] && return 0
    sleep 0.1
  done
  return 1
}

# e2e_launch SECONDS ARGS...: starts $viewer in the background with the
# scripted answers in $work/answers and ARGS, its output in $work/out and
# $work/err, and waits up to SECONDS for its panel (e2e_await_window).
e2e_launch() {
  local seconds=$1
  shift
  : >"$work/out"
  # shellcheck disable=SC2154 # set by the sourcing script
  "$viewer" --answers "$work/answers" "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  e2e_await_window "$seconds"
}

# e2e_await_window SECONDS: waits until the program reports its panel laid
# out ("PANEL_READY" in $work/out), then sets $wid to its window.
e2e_await_window() {
  wait_for "^PANEL_READY" "$work/out" "$1" || fail "the panel never settled"
  wid=$(xdotool search --sync --name "^Varkel's ICP( - .*)?\$" | head -1)
  [ -n "$wid" ] || fail "no window titled \"Varkel's ICP\""
}

# centre_of KIND LABEL: the window-pixel centre ("X Y") of the first control
# so labelled in the layout printed to $work/layout, of kind KIND unless KIND
# is empty; prints nothing when there is none.
centre_of() {
  awk -v k="$1" -v l="\"$2\"" '$1 == "CONTROL" && (k == "" || $3 == k) {
      label = $0; sub(/^CONTROL [0-9]+ [a-z]+ /, "", label); sub(/ -?[0-9]+ -?[0-9]+ [01]$/, "", label)
      if (label == l) { print $(NF - 2), $(NF - 1); exit } }' "$work/layout"
}

# shot NAME: screenshot of the window to $shots/NAME.png after the redraw settled.
shot() {
  sleep 1.5
  # shellcheck disable=SC2154 # set by the sourcing script
  import -window "$wid" "$shots/$1.png"
}

# differing GEOMETRY A B: pixels of the crop that differ by more than the fuzz.
differing() {
  convert "$shots/$2.png" -crop "$1" +repage "$work/a.png"
  convert "$shots/$3.png" -crop "$1" +repage "$work/b.png"
  compare -metric AE -fuzz 12% "$work/a.png" "$work/b.png" null: 2>&1 || true
}

# close_window: asks the program's window to close as a window manager's
# close button does (a WM_DELETE_WINDOW message to $wid).
close_window() {
  python3 - "$wid" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
message = ClientMessage(type=33, send_event=1, display=display, window=window, format=32,
                        message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0))
message.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(message))
x.XFlush(display)
PY
}
