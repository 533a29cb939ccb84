#!/usr/bin/env bash
# The password input box in a real window on a private Xvfb display:
#   input_box_window_test.sh PROBE OUTDIR ok|esc
# types a password with xdotool, then presses Enter (ok) or Esc (esc) and
# checks what the probe printed. Screenshot: OUTDIR/input-box-<mode>.png.
# Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
probe=$1 outdir=$2 mode=$3
source "$(dirname "$0")/../../../scripts/xvfb-lib.sh" || { echo "FAIL: scripts/xvfb-lib.sh not found"; exit 1; }
xvfb_require_tools
xvfb_tempfile out
xvfb_start 500
"$probe" >"$out" 2>&1 &
pid=$!
if ! xvfb_wait_window "Password for"; then echo "FAIL: the input box never appeared"; kill "$pid"; cat "$out"; exit 1; fi
win=$xvfb_window
sleep 0.5
xdotool windowfocus --sync "$win" 2>/dev/null || true
# The edit box is first in tab order and has the focus.
xdotool key --window "$win" ctrl+a
xdotool type --window "$win" --delay 20 "s3cret"
sleep 0.3
xvfb_screenshot "$outdir/input-box-$mode.png"
if [ "$mode" = ok ]; then xdotool key --window "$win" Return 2>/dev/null; else xdotool key --window "$win" Escape 2>/dev/null; fi
if ! xvfb_wait_exit "$pid"; then echo "FAIL: the input box did not close"; kill "$pid"; exit 1; fi
wait "$pid"
cat "$out"
if [ "$mode" = ok ]; then expected="1 s3cret"; else expected="0 old"; fi
[ "$(cat "$out")" = "$expected" ] || { echo "FAIL: expected $expected"; exit 1; }
echo "PASS"
