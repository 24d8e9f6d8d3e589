#!/usr/bin/env bash
# The Win32 window's run against the Linux build's veldrin-grid: the window test that clicks
# Make over the sample maps runs under Wine in a folder of this script's, the Linux program runs
# over its own sample with the same maps, and both folders must be byte for byte the same.
#   window_end_to_end.sh WINE TEST_WIN32_EXE LINUX_VELDRIN_GRID
set -uo pipefail
wine=$1 exe=$2 linux=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/window"
listing() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

VELDRIN_WINDOW_RESULTS=$(winepath -w "$work/window" 2>/dev/null) \
  "$wine" "$exe" --gtest_filter='*.ARunStartedWithMakeWritesTheTickedMapsAndEndsWithTheFinalText' \
  >"$work/out" 2>&1 || { cat "$work/out" >&2; echo "FAIL: the window's run" >&2; exit 1; }
"$linux" --sample "$work/linux" -q && "$linux" -f "$work/linux" -q -m ft4,i2,m4,tk4 ||
  { echo "FAIL: the Linux run" >&2; exit 1; }
if ! diff <(listing "$work/window") <(listing "$work/linux"); then
  echo "FAIL: the window's results differ from the Linux build's" >&2
  exit 1
fi
echo "the window under Wine: every file matches the Linux build's ($(ls "$work/window" | wc -l) files)"
