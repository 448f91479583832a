# What the tests of the Windows packages share, sourced by each: a bound on
# the whole test, its ok/fail lines, a fresh Wine prefix with nothing from
# the build in reach, a virtual display with a window manager, the clean-up
# of all of it, and the keys typed into the programs' windows.
#
# The test sets, before sourcing: usage (its arguments), label (the summary
# line's name, "Windows package (Wine)"); afterwards it calls
# bounded "$@" && shift, then fresh_prefix and start_display.

# bounded ARGS...: run as given, the test runs itself again within a bound,
# so that a hang anywhere still ends in the clean-up below, and exits with
# its status; the bounded run itself (first argument --bounded) returns.
bounded() {
  [ "${1:-}" = --bounded ] && return 0
  [ $# -eq 3 ] || {
    echo "Usage: $0 $usage" >&2
    exit 2
  }
  mkdir -p "$3"
  local work status=0
  work=$(cd "$3" && pwd)
  timeout --kill-after=10 "${PW_PACKAGE_TEST_SECONDS:-300}" "$0" --bounded "$@" || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "FAILED: the test did not finish within ${PW_PACKAGE_TEST_SECONDS:-300} seconds"
  fi
  # What a killed run left behind: its Wine processes and its display.
  WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  if [ -s "$work/xvfb.pid" ]; then kill "$(cat "$work/xvfb.pid")" 2>/dev/null || true; fi
  rm -f "$work/xvfb.pid"
  exit "$status"
}

started=$SECONDS
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
passed=0

ok() {
  passed=$((passed + 1))
  echo "ok: $*"
}
fail() {
  echo "FAILED: $*"
  echo "$label: $passed passed, 1 failed"
  exit 1
}

# need TOOL...: fails naming the first one missing.
need() {
  local tool
  for tool in "$wine" "$wineserver" Xvfb xdotool openbox import "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
  done
}

xvfb=
wm=
app=
succeeded=0
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$app" ] || wait "$app" 2>/dev/null || true
  if [ -n "$wm" ]; then
    kill "$wm" 2>/dev/null || true
    wait "$wm" 2>/dev/null || true
  fi
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -f "$work/xvfb.pid" "$work/display"
  # A prefix takes hundreds of megabytes; a failed run's stays to be looked into.
  if [ "$succeeded" -eq 1 ]; then
    rm -rf "$WINEPREFIX"
  else
    echo "The Wine prefix and the logs are kept in $work."
  fi
}

# fresh_prefix [PATH...]: nothing from the build reaches the programs (a
# plain PATH, no WINEPATH), the prefix in WORK_DIR/prefix is made anew, and
# the given leftovers of an earlier run go; the clean-up is set.
fresh_prefix() {
  export PATH=/usr/bin:/bin
  unset WINEPATH DISPLAY WAYLAND_DISPLAY
  export WINEPREFIX=$work/prefix WINEDEBUG=-all
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$@"
  drive=$WINEPREFIX/drive_c
  trap cleanup EXIT
  # The outer bound's signal ends the test through its clean-up.
  trap 'exit 143' TERM INT
  # Made without a display, where Wine offers no download of its Mono or
  # Gecko (neither is needed); it still registers its browser for .html
  # files. The prefix's first processes end before anything starts on the
  # display.
  timeout 120 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 ||
    fail "wineboot: $(tail -5 "$work/wineboot.log")"
  timeout 60 "$wineserver" -w || fail "the new prefix's processes did not end"
  [ -d "$drive/windows" ] || fail "no fresh prefix in $WINEPREFIX"
}

# start_display: Xvfb on a display it picks itself, and openbox on it.
start_display() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  echo "$xvfb" >"$work/xvfb.pid"
  until_true 30 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  DISPLAY=:$(head -1 "$work/display")
  export DISPLAY
  openbox >"$work/openbox.log" 2>&1 &
  wm=$!
}

# until_true SECONDS COMMAND...: runs the command every fifth of a second
# until it succeeds; fails after the seconds.
until_true() {
  local limit=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$limit" ] || return 1
    sleep 0.2
  done
}

# The first visible window whose title matches, or nothing.
window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1
}
shown() {
  [ -n "$(window "$1")" ]
}
gone() {
  [ -z "$(window "$1")" ]
}
# press TITLE KEYS SECONDS CONDITION...: activates the window, types the
# keys (blank-separated) and waits for the condition; keys that went nowhere
# (a window still coming up) are typed again, three times at most.
press() {
  local title=$1 keys=$2 seconds=$3 id
  shift 3
  for _ in 1 2 3; do
    id=$(window "$title")
    [ -n "$id" ] || return 1
    timeout 5 xdotool windowactivate --sync "$id" >/dev/null 2>&1 ||
      timeout 5 xdotool windowfocus --sync "$id" || true
    # shellcheck disable=SC2086 # one word a key
    xdotool key $keys
    until_true "$seconds" "$@" && return 0
  done
  return 1
}
