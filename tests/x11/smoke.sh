#!/usr/bin/env bash
# The real program under a real X server: the password prompt appears, the
# right password opens the main window, three wrong ones end the process.
set -euo pipefail
lumaro="$1"
admin="$2"
work="$(mktemp -d)"
pid=""
xvfb=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# The program remembers the last shop it opened: in here, not in the user's own settings.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

# A private X server on a display number it picks itself, so runs side by
# side never share one. Started again if it does not answer.
start_xvfb() {
  local i
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null & xvfb=$!
  for i in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || return 1
  export DISPLAY=":$(head -n 1 "$work/display")"
  for i in $(seq 1 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
for try in 1 2 3; do
  start_xvfb && break
  kill "$xvfb" 2>/dev/null || true
  xvfb=""
  [ "$try" = 3 ] && { echo "Xvfb did not start" >&2; exit 1; }
done
export QT_QPA_PLATFORM=xcb
echo "tea123" | "$admin" init --sample teadata.db >/dev/null

window_id() { # name, seconds: prints the id of the newest window of that name
  local i ids
  for i in $(seq 1 $(( $2 * 10 ))); do
    ids="$(xdotool search --name "$1" 2>/dev/null || true)"
    if [ -n "$ids" ]; then echo "$ids" | tail -n 1; return 0; fi
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

wait_gone() { # id, seconds
  local i
  for i in $(seq 1 $(( $2 * 10 ))); do
    xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "window $1 did not close" >&2
  return 1
}

answer_prompt() { # text
  local id
  id="$(window_id "開啟系統" 60)"
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  xdotool type --delay 20 "$1"
  xdotool key Return
  wait_gone "$id" 30
}

# Right password: the main window stays up with its menu bar.
"$lumaro" & pid=$!
answer_prompt "tea123"
sleep 0.5
kill -0 "$pid" || { echo "the program ended after the right password" >&2; exit 1; }
if xdotool search --name "開啟系統" >/dev/null 2>&1; then echo "asked again after the right password" >&2; exit 1; fi
window_id "^Lumaro" 10 >/dev/null
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""

# Three wrong entries: the exit message, then the process ends by itself.
"$lumaro" & pid=$!
for attempt in 1 2 3; do
  answer_prompt "wrong$attempt"
done
id="$(window_id "強制離開系統" 30)"
xdotool windowfocus --sync "$id" 2>/dev/null || true
xdotool key Return
for i in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the program did not end after three wrong passwords" >&2
  exit 1
fi
wait "$pid" || true
pid=""
echo "x11 smoke: prompt, unlock and forced exit all behaved"
