# What the scripts share: the virtual display and Wine's set-up. Sourced by
# them, never run:   . "$(dirname "$0")/lib.sh"

# The screen of every virtual display the scripts start.
virtual_screen="-screen 0 1280x1024x24"

# Runs a command on a virtual display of its own.
on_virtual_display() {
  xvfb-run -a -s "$virtual_screen" "$@"
}

# The locale Windows programs run in: Wine takes its ANSI code page from it,
# and zh_CN gives 936, as on a Simplified Chinese Windows.
wine_locale=zh_CN.UTF-8

# The Wine prefix the Windows programs run in.
use_wine_prefix() {
  export WINEPREFIX
  WINEPREFIX=$(realpath -m "$1")
  export WINEDEBUG=-all
}

# Starts Wine's server and its services on this display, so that what runs
# next finds them warm; a test's own start would leave helper processes
# holding its output open. Stopped again when the calling script ends.
start_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -p
  LC_ALL=$wine_locale wine cmd /c exit >/dev/null 2>&1 || true
  trap 'wineserver -k 2>/dev/null || true' EXIT
}
