#!/usr/bin/env bash
# Makes the Debian package of a build as `make package` does, into a folder of its own, and
# unpacks it there (into root/) for the checks that follow.
#   make_package.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1 out=$2

rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; exit 1; }
debs=("$out"/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: cpack made: ${debs[*]}" >&2; exit 1; }
dpkg-deb -x "${debs[0]}" "$out/root"
echo "${debs[0]##*/}"
