#!/usr/bin/env bash
# What a desktop and `man` read from an unpacked package: the AppStream metadata with the desktop
# entry it launches, the desktop entry itself, the icon it names at both sizes, and manual pages
# that render without a warning.
#   installed_files.sh ROOT
set -uo pipefail
root=$1

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

appstreamcli validate-tree --no-net "$root" || fail "AppStream metadata"
entry=$root/usr/share/applications/veldrin.desktop
# Not even a hint (a second main category, say, that shows the entry twice in a menu).
report=$(desktop-file-validate "$entry" 2>&1)
status=$?
[[ $status -eq 0 && -z $report ]] || fail "desktop entry: $report"

# The icon the entry names, at both sizes (lintian checks that each has the size of its folder).
icon=$(sed -n 's/^Icon=//p' "$entry")
for file in scalable/apps/$icon.svg 48x48/apps/$icon.png; do
  [[ -f $root/usr/share/icons/hicolor/$file ]] || fail "no icon $file"
done

# A page as plain text, as `man` shows it but without bold and underlining.
render() {
  zcat "$1" | groff -man -Tascii -P-cbou 2>/dev/null
}

for page in veldrin veldrin-grid; do
  file=$root/usr/share/man/man1/$page.1.gz
  [[ -f $file ]] || { fail "no manual page $page(1)"; continue; }
  warnings=$(zcat "$file" | groff -man -ww -z 2>&1)
  [[ -z $warnings ]] || fail "$page(1) renders with warnings: $warnings"
  grep -q "^NAME" <<<"$(render "$file")" || fail "$page(1) has no NAME section"
done
# Made from --help: every long option of the program is in its page.
grid_page=$(render "$root/usr/share/man/man1/veldrin-grid.1.gz")
for option in $("$root/usr/bin/veldrin-grid" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -qF -- "$option" <<<"$grid_page" || fail "veldrin-grid(1) lacks $option"
done

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the installed metadata, icons and manual pages are valid"
