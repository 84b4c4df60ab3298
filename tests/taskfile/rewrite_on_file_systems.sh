#!/usr/bin/env bash
# Runs the rewrite's tests with their files on tmpfs, on exFAT (a USB disk:
# no hard or symbolic links, no permissions) and on NTFS through ntfs-3g (a
# Windows partition), where task files also live.
# Usage: rewrite_on_file_systems.sh REWRITE_TEST CONTROLLER_TEST FILE_SYSTEM_TEST
# Exits 77 (skipped) where this machine cannot mount them: it needs root,
# loop devices, FUSE, exfat-fuse and ntfs-3g.
set -euo pipefail
skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "not root"
command -v mount.exfat-fuse >/dev/null && command -v mkfs.exfat >/dev/null || skip "no exfat-fuse"
command -v ntfs-3g >/dev/null && command -v mkntfs >/dev/null || skip "no ntfs-3g"

work=$(mktemp -d)
chmod 755 "$work"  # the permission tests give up root
loops=()
cleanup() {
  for m in "$work"/tmpfs "$work"/exfat "$work"/ntfs; do mountpoint -q "$m" && umount "$m"; done
  for loop in "${loops[@]}"; do losetup -d "$loop"; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/tmpfs" "$work/exfat" "$work/ntfs"

mount -t tmpfs -o size=64m orvanta-test "$work/tmpfs" || skip "cannot mount tmpfs"
# A disk image on a loop device of its own, as a real disk would be.
loop_device() {
  truncate -s 64M "$work/$1.img"
  local loop
  loop=$(losetup -f --show "$work/$1.img") || skip "no loop device"
  loops+=("$loop")
  echo "$loop"
}
exfat=$(loop_device exfat)
mkfs.exfat "$exfat" >/dev/null
mount.exfat-fuse "$exfat" "$work/exfat" >/dev/null || skip "cannot mount exFAT"
ntfs=$(loop_device ntfs)
mkntfs --fast --force "$ntfs" >/dev/null 2>&1
ntfs-3g "$ntfs" "$work/ntfs" || skip "cannot mount NTFS"

run() {
  local where=$1 filter=$2
  echo "== on $(stat -f -c %T "$where")"
  for test in "${@:3}"; do TMPDIR=$where "$test" --gtest_brief=1 --gtest_filter="$filter"; done
}
run "$work/tmpfs" '*' "$@"
# Neither has owners, permissions or FIFOs for the other POSIX-only cases.
for where in "$work/exfat" "$work/ntfs"; do
  run "$where" '-*Posix.*' "$@"
  run "$where" '*LeavesTheFileAlone*' "$3"
done
