#!/usr/bin/env bash
# Sets everything up, builds a normal and an ASan+UBSan build and runs the
# whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
bash scripts/build.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DVV_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== tests: release build"
ctest --test-dir build/release -j "$(nproc)" --output-on-failure --repeat until-pass:3
echo "== tests: ASan+UBSan build"
# The real-window tests drive Xvfb/FLTK with timing; they run in the release
# build only. A test that fails is retried (up to three runs) to ride out
# timing flakes of those window tests; a real failure fails every run.
ctest --test-dir build/asan -j "$(nproc)" --output-on-failure --repeat until-pass:3 -E "_window_"
