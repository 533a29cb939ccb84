#!/usr/bin/env bash
# Opens a parameter dialog in a real window on a private Xvfb display through
# `vvhost edit`, answers it with xdotool and checks the slots vvhost prints.
#   dialog_window_test.sh VVHOST OUTDIR ok|esc
# "ok" types into the put dialog and presses Enter; "esc" types and presses
# Esc. A screenshot of the open dialog goes to OUTDIR/dialog-<mode>.png.
# Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
vvhost=$1 outdir=$2 mode=$3
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (run scripts/setup.sh)"; exit 77; }
done
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
out=$(mktemp)
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$out"; }
trap cleanup EXIT
export DISPLAY=$display ASAN_OPTIONS=detect_leaks=0
for _ in $(seq 300); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$vvhost" edit 1 --slot "old1" --slot "old2" --slot "old3" --slot 1 >"$out" 2>&1 &
host=$!
win=""
for _ in $(seq 300); do
  win=$(xdotool search --name "veVazevid" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
if [ -z "$win" ]; then echo "FAIL: the dialog window never appeared"; kill "$host"; cat "$out"; exit 1; fi
sleep 0.5
xdotool windowfocus --sync "$win" 2>/dev/null || true
# The OK button has the focus (tab order 0); two Tabs reach Edit1.
xdotool key --window "$win" Tab Tab ctrl+a
xdotool type --window "$win" --delay 20 "new-store.vv"
xdotool key --window "$win" Tab ctrl+a
xdotool type --window "$win" --delay 20 "disk.txt"
xdotool key --window "$win" Tab ctrl+a
xdotool type --window "$win" --delay 20 "pw"
# Next in tab order is the check box ("1" shows it checked): Space clears it.
xdotool key --window "$win" Tab space
sleep 0.3
command -v import >/dev/null && import -window root "$outdir/dialog-$mode.png" 2>/dev/null
if [ "$mode" = ok ]; then xdotool key --window "$win" Return; else xdotool key --window "$win" Escape; fi
for _ in $(seq 100); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$host" 2>/dev/null; then echo "FAIL: the dialog did not close"; kill "$host"; exit 1; fi
wait "$host"
cat "$out"
if [ "$mode" = ok ]; then
  expected=$'result=true\nslot1=new-store.vv\nslot2=disk.txt\nslot3=pw\nslot4=0'
else
  expected=$'result=false\nslot1=old1\nslot2=old2\nslot3=old3\nslot4=1'
fi
[ "$(cat "$out")" = "$expected" ] || { echo "FAIL: expected"; echo "$expected"; exit 1; }
echo "PASS"
