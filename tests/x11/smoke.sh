#!/usr/bin/env bash
# The real program under a real X server: the password prompt appears, the
# right password opens the main window, three wrong ones end the process.
set -euo pipefail
lumaro="$1"
admin="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "tea123" | "$admin" init --sample teadata.db >/dev/null

wait_for_window() { # name, seconds
  local i
  for i in $(seq 1 $(( $2 * 10 ))); do
    if xdotool search --name "$1" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

# Right password: the main window stays up with its menu bar.
"$lumaro" & pid=$!
wait_for_window "開啟系統" 20
xdotool type --delay 20 "tea123"; xdotool key Return
sleep 1
kill -0 "$pid" || { echo "the program ended after the right password" >&2; exit 1; }
xdotool search --name "開啟系統" >/dev/null 2>&1 && { echo "the prompt is still up" >&2; exit 1; }
wait_for_window "^Lumaro" 5
kill "$pid"; wait "$pid" 2>/dev/null || true

# Three wrong entries: the exit message, then the process ends by itself.
"$lumaro" & pid=$!
for attempt in 1 2 3; do
  wait_for_window "開啟系統" 20
  xdotool type --delay 20 "wrong$attempt"; xdotool key Return
  sleep 0.5
done
wait_for_window "強制離開系統" 10
xdotool key Return
for i in $(seq 1 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the program did not end after three wrong passwords" >&2
  kill "$pid"; exit 1
fi
wait "$pid"; code=$?
echo "x11 smoke: prompt, unlock and forced exit all behaved (exit code $code)"
