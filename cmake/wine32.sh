#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine, as the toolchain's emulator for
# the i686 build. Where this machine runs no 32-bit Wine (no i386 packages,
# or a kernel without 32-bit programs), says so and exits 77, which ctest
# counts as skipped. With --check it only tells, by its exit code.
loader=/usr/lib/wine/wine
if ! [ -x "$loader" ] || ! "$loader" --version >/dev/null 2>&1; then
  [ "${1:-}" = --check ] || echo "skipped: this machine runs no 32-bit Wine"
  exit 77
fi
[ "${1:-}" = --check ] && exit 0
exec wine "$@"
