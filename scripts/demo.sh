#!/usr/bin/env bash
# Sets everything up, builds the plug-in and the host, and runs the demo
# script examples/demo.vvs through vvhost (with --trace, so each action's
# result and the variables it set are shown).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
dir=build/release
[ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target vvhost veVazevid
host=$PWD/$dir/bin/vvhost
echo "== vvhost info"
"$host" info
echo "== vvhost run --trace demo.vvs (in examples/)"
cd examples
"$host" run --trace demo.vvs
