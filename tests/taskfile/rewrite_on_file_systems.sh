#!/usr/bin/env bash
# Runs the rewrite's tests with their files on tmpfs and on exFAT (no hard
# or symbolic links, no permissions), where task files also live.
# Usage: rewrite_on_file_systems.sh REWRITE_TEST CONTROLLER_TEST FILE_SYSTEM_TEST
# Exits 77 (skipped) where this machine cannot mount them: it needs root,
# loop devices, FUSE and exfat-fuse.
set -euo pipefail
skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "not root"
command -v mount.exfat-fuse >/dev/null && command -v mkfs.exfat >/dev/null || skip "no exfat-fuse"

work=$(mktemp -d)
chmod 755 "$work"  # the permission tests give up root
loop=
cleanup() {
  for m in "$work"/tmpfs "$work"/exfat; do mountpoint -q "$m" && umount "$m"; done
  [ -n "$loop" ] && losetup -d "$loop"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/tmpfs" "$work/exfat"

mount -t tmpfs -o size=64m orvanta-test "$work/tmpfs" || skip "cannot mount tmpfs"
truncate -s 64M "$work/exfat.img"
mkfs.exfat "$work/exfat.img" >/dev/null
loop=$(losetup -f --show "$work/exfat.img") || skip "no loop device"
mount.exfat-fuse "$loop" "$work/exfat" >/dev/null || skip "cannot mount exFAT"

run() {
  local where=$1 filter=$2
  echo "== on $(stat -f -c %T "$where")"
  for test in "${@:3}"; do TMPDIR=$where "$test" --gtest_brief=1 --gtest_filter="$filter"; done
}
run "$work/tmpfs" '*' "$@"
# exFAT has no owners, permissions or FIFOs for the other POSIX-only cases.
run "$work/exfat" '-*Posix.*' "$@"
run "$work/exfat" '*AnotherProgram*' "$3"
