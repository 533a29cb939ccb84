#!/usr/bin/env bash
# The password input box in a real window on a private Xvfb display:
#   input_box_window_test.sh PROBE OUTDIR ok|esc
# types a password with xdotool, then presses Enter (ok) or Esc (esc) and
# checks what the probe printed. Screenshot: OUTDIR/input-box-<mode>.png.
# Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
probe=$1 outdir=$2 mode=$3
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (run scripts/setup.sh)"; exit 77; }
done
display=:$((500 + RANDOM % 400))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
out=$(mktemp)
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$out"; }
trap cleanup EXIT
export DISPLAY=$display ASAN_OPTIONS=detect_leaks=0
for _ in $(seq 300); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
"$probe" >"$out" 2>&1 &
pid=$!
win=""
for _ in $(seq 300); do
  win=$(xdotool search --name "Password for" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
if [ -z "$win" ]; then echo "FAIL: the input box never appeared"; kill "$pid"; cat "$out"; exit 1; fi
sleep 0.5
xdotool windowfocus --sync "$win" 2>/dev/null || true
# The edit box is first in tab order and has the focus.
xdotool key --window "$win" ctrl+a
xdotool type --window "$win" --delay 20 "s3cret"
sleep 0.3
command -v import >/dev/null && import -window root "$outdir/input-box-$mode.png" 2>/dev/null
if [ "$mode" = ok ]; then xdotool key --window "$win" Return 2>/dev/null; else xdotool key --window "$win" Escape 2>/dev/null; fi
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: the input box did not close"; kill "$pid"; exit 1; fi
wait "$pid"
cat "$out"
if [ "$mode" = ok ]; then expected="1 s3cret"; else expected="0 old"; fi
[ "$(cat "$out")" = "$expected" ] || { echo "FAIL: expected $expected"; exit 1; }
echo "PASS"
