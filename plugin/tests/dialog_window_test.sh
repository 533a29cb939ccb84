#!/usr/bin/env bash
# Opens a parameter dialog in a real window on a private Xvfb display through
# `vvhost edit`, answers it with xdotool and checks the slots vvhost prints.
#   dialog_window_test.sh VVHOST OUTDIR ok|esc
# "ok" types into the put dialog and presses Enter; "esc" types and presses
# Esc. A screenshot of the open dialog goes to OUTDIR/dialog-<mode>.png.
# Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
vvhost=$1 outdir=$2 mode=$3
source "$(dirname "$0")/../../scripts/xvfb-lib.sh" || { echo "FAIL: scripts/xvfb-lib.sh not found"; exit 1; }
xvfb_require_tools
xvfb_tempfile out
xvfb_start 90

"$vvhost" edit 1 --slot "old1" --slot "old2" --slot "old3" --slot 1 >"$out" 2>&1 &
host=$!
if ! xvfb_wait_window "veVazevid"; then echo "FAIL: the dialog window never appeared"; kill "$host"; cat "$out"; exit 1; fi
win=$xvfb_window
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
xvfb_screenshot "$outdir/dialog-$mode.png"
if [ "$mode" = ok ]; then xdotool key --window "$win" Return; else xdotool key --window "$win" Escape; fi
if ! xvfb_wait_exit "$host"; then echo "FAIL: the dialog did not close"; kill "$host"; exit 1; fi
wait "$host"
cat "$out"
if [ "$mode" = ok ]; then
  expected=$'result=true\nslot1=new-store.vv\nslot2=disk.txt\nslot3=pw\nslot4=0'
else
  expected=$'result=false\nslot1=old1\nslot2=old2\nslot3=old3\nslot4=1'
fi
[ "$(cat "$out")" = "$expected" ] || { echo "FAIL: expected"; echo "$expected"; exit 1; }
echo "PASS"
