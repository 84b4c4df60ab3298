#!/usr/bin/env bash
# Checks what scripts/package made, as a user would meet it:
#   check_packages.sh DIST_FOLDER
# - each zip holds one exe and its read-me; the exe imports only Windows' own
#   DLLs and keeps ASLR (high-entropy on x64) and DEP;
# - lintian finds no error or warning in the .deb, and its desktop entry
#   and AppStream file pass their validators;
# - the .deb installs with apt-get, and /usr/bin/orvanta starts and stays up,
#   with and without a task file to open.
# Exits 77 (skipped) where there are no packages, or, for the install, no root.
set -euo pipefail
dist=$(realpath "$1")
ls "$dist"/*.deb >/dev/null 2>&1 || { echo "skipped: no packages in $dist (scripts/package)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

system_dlls='^(advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|oleacc|shell32|user32|uxtheme)\.dll$'
# What the exe takes from system DLLs only when first called, in one list.
late_bound=$(grep -o '"[A-Za-z]*"};' "$(dirname "$0")/../../src/ui/win32/late_bound.h" | tr -d '"};')
[ "$(echo "$late_bound" | wc -w)" -ge 9 ] || fail "late_bound.h lists: $late_bound"
for zip in "$dist"/Orvanta-*-win64.zip "$dist"/Orvanta-*-win32.zip; do
  name=$(basename "$zip")
  listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
  [ "$listing" = "Orvanta.exe README.txt " ] || fail "$name holds: $listing"
  unzip -q -o "$zip" Orvanta.exe -d "$work/$name"
  exe=$work/$name/Orvanta.exe
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  while read -r dll; do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || fail "$name imports $dll"
  done < <(echo "$headers" | sed -n 's/^\s*DLL Name: //p')
  imported=$(echo "$headers" | sed -n '/^The Import Tables/,/^The Export Tables\|^The Function Table\|^PE File Base/p')
  for function in $late_bound; do
    echo "$imported" | grep -qw "$function" && fail "$name imports $function, which it loads late"
    grep -qa "$function" "$exe" || fail "$name never names $function"
  done
  traits=$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOf/p')
  for trait in DYNAMIC_BASE NX_COMPAT; do
    echo "$traits" | grep -q "$trait" || fail "$name lacks $trait"
  done
  if [[ $name == *win64* ]]; then
    echo "$traits" | grep -q HIGH_ENTROPY_VA || fail "$name lacks HIGH_ENTROPY_VA"
  fi
  echo "$name: $(stat -c %s "$exe") byte exe, imports and traits checked"
done

deb=$(ls "$dist"/*.deb)
# Debian's own checks of a package: no error and no warning.
lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $lint"
dpkg-deb -x "$deb" "$work/deb"
desktop-file-validate "$work"/deb/usr/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$work"/deb/usr/share/metainfo/*.metainfo.xml || fail "metainfo"

# Stays up for two seconds: it opened its window and did not crash.
stays_up() {
  QT_QPA_PLATFORM=offscreen /usr/bin/orvanta "$@" >"$work/run.log" 2>&1 &
  local pid=$!
  sleep 2
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  else
    cat "$work/run.log"
    fail "/usr/bin/orvanta $* ended on its own"
  fi
}
if [ "$(id -u)" = 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall --no-install-recommends "$deb" >/dev/null
  stays_up
  # As the file manager starts it for a *.td.cfg file (Exec=orvanta %F):
  # the file must be read.
  sample=$("$(dirname "$0")/../../scripts/sample-task-file" "$work")
  inotifywait -q -t 10 -e open "$sample" >"$work/opened" &
  watcher=$!
  sleep 0.5
  stays_up "$sample"
  wait "$watcher" || true
  grep -q OPEN "$work/opened" || fail "/usr/bin/orvanta did not open the file it was given"
  echo "installed $(basename "$deb"); /usr/bin/orvanta stayed up, and opened the file it was given"
else
  echo "not root: $(basename "$deb") not installed"
fi

[ "$failures" = 0 ] && echo "packages checked" || exit 1
