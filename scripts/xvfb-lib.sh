# Shared start-up of the window tests that run on a private Xvfb display.
# Source it from a test script (bash), then:
#
#   xvfb_require_tools               exit 77 (skipped) unless Xvfb and xdotool exist
#   xvfb_start BASE                  start Xvfb on display :BASE+(0..399), export
#                                    DISPLAY, wait until the server answers; the
#                                    server is stopped when the script exits
#   xvfb_tempfile VAR                make a temporary file, removed at exit, and
#                                    store its path in VAR
#   xvfb_wait_window NAME            wait for a window whose name matches NAME;
#                                    its id goes to $xvfb_window (empty and
#                                    return 1 when none appears)
#   xvfb_wait_exit PID               wait up to 10 s for PID to end; return 1 when
#                                    it is still running
#   xvfb_screenshot PATH             screenshot of the whole display when
#                                    ImageMagick's import is installed
#
# The test processes run with ASAN_OPTIONS=detect_leaks=0: the toolkit keeps
# process-wide objects that a leak check would report.

xvfb_pid=""
xvfb_window=""
xvfb_tempfiles=()

xvfb_cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ ${#xvfb_tempfiles[@]} -gt 0 ]; then rm -f "${xvfb_tempfiles[@]}"; fi
}

xvfb_require_tools() {
  local tool
  for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (run scripts/setup.sh)"; exit 77; }
  done
}

xvfb_tempfile() {
  local file
  file=$(mktemp) || { echo "FAIL: cannot make a temporary file"; exit 1; }
  xvfb_tempfiles+=("$file")
  printf -v "$1" '%s' "$file"
}

xvfb_start() {
  local base=$1 display
  display=:$((base + RANDOM % 400))
  trap xvfb_cleanup EXIT
  Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display ASAN_OPTIONS=detect_leaks=0
  local _
  for _ in $(seq 300); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

xvfb_wait_window() {
  local name=$1 _
  xvfb_window=""
  for _ in $(seq 300); do
    xvfb_window=$(xdotool search --name "$name" 2>/dev/null | head -1)
    [ -n "$xvfb_window" ] && return 0
    sleep 0.1
  done
  return 1
}

xvfb_wait_exit() {
  local pid=$1 _
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  ! kill -0 "$pid" 2>/dev/null
}

xvfb_screenshot() {
  command -v import >/dev/null && import -window root "$1" 2>/dev/null
  return 0
}
