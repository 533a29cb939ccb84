#!/usr/bin/env bash
# Sets everything up, builds the plug-in and the host, and runs the two demo
# scripts through vvhost: examples/demo.vvs (a compressed storage) and
# examples/demo-password.vvs (a password-protected one).
#
# The scripts run in a fresh work folder, build/demo-run/, which this command
# empties first: it holds a copy of examples/data/ and the empty extraction
# folders out/ and out-secret/, so no storage file of an earlier run gets in
# the way and nothing lands in the source tree. Afterwards the extracted
# files are compared with the originals.
#
# Environment: VV_BUILD_DIR (default build/release) is the build folder;
# VV_DEMO_TRACE=1 adds vvhost's --trace (each action's result and the
# variables it set).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
dir=${VV_BUILD_DIR:-build/release}
[ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target vvhost veVazevid
host=$root/$dir/bin/vvhost
trace=()
[ "${VV_DEMO_TRACE:-0}" = 1 ] && trace=(--trace)

work=$root/build/demo-run
rm -rf "$work"
mkdir -p "$work/out" "$work/out-secret"
cp -R examples/data "$work/data"
cd "$work"

echo "== vvhost info"
"$host" info
for script in demo.vvs demo-password.vvs; do
  echo
  echo "== vvhost run ${trace[*]:+${trace[*]} }examples/$script (in build/demo-run/)"
  "$host" run "${trace[@]}" "$root/examples/$script"
done

echo
status=0
for pair in out/notes.txt out-secret/notes.txt; do
  if cmp -s "$pair" data/notes.txt; then
    echo "demo: $pair is identical to data/notes.txt"
  else
    echo "demo: $pair is missing or differs from data/notes.txt" >&2
    status=1
  fi
done
exit $status
