#!/usr/bin/env bash
# The programs of an unpacked package, run from there: they state the package's version, which
# is also the one scripts read; veldrin-grid leaves byte for byte the files that the build's own
# veldrin-grid leaves; the window comes up on an offscreen screen and stays up.
#   installed_programs.sh ROOT DEB BUILD_VELDRIN_GRID SOURCE_DIR
set -uo pipefail
root=$1 deb=$2 build_grid=$3 source=$4

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# Every file of a folder with its checksum, one line each, sorted by name.
listing() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grid=$root/usr/bin/veldrin-grid

version=$(dpkg-deb -f "$deb" Version)
[[ $("$grid" --version) == "veldrin-grid $version" ]] ||
  fail "package $version, veldrin-grid says: $("$grid" --version)"
[[ $("$source/scripts/version") == "$version" ]] ||
  fail "package $version, scripts/version says: $("$source/scripts/version")"

"$grid" --sample "$work/installed" -q || fail "--sample: exit status $?"
"$build_grid" --sample "$work/built" -q
for run in first second; do  # the second run makes the backups
  "$grid" -f "$work/installed" -q || fail "$run run: exit status $?"
  "$build_grid" -f "$work/built" -q
  diff <(listing "$work/installed") <(listing "$work/built") >&2 ||
    fail "$run run: the installed and the built veldrin-grid leave different files"
done
[[ $(ls "$work/installed" | grep -c '\.OLD$') -gt 0 ]] || fail "no backups after two runs"

# The window. Qt's painting log names the main form ("Form1") when its first picture reaches
# the screen; the program must still be running then, and ends when asked to.
log=$work/veldrin.log
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.widgets.painting=true' \
  "$root/usr/bin/veldrin" 2>"$log" &
window=$!
for _ in $(seq 300); do
  grep -q 'Flushing .*name="Form1"' "$log" && break
  kill -0 "$window" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q 'Flushing .*name="Form1"' "$log"; then
  fail "the window was not shown: $(grep -v '^qt\.widgets\.painting' "$log" | tail -5)"
elif ! kill -0 "$window" 2>/dev/null; then
  fail "the window closed by itself"
fi
kill "$window" 2>/dev/null
wait "$window" 2>/dev/null

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the installed programs run as the built ones"
