#!/usr/bin/env bash
# veldrin-grid.exe under Wine against the Linux build's veldrin-grid on the same sample folder:
# the sample is written by the Windows program into a folder with a Japanese name, then both
# programs run over their own copy (a run, a second run that finds the backups, a dry run), and
# every file they leave must be byte for byte the same. Exit statuses and the UTF-8 texts on a
# pipe are checked on the way; a drive root (a doubled separator in every name), a drive without
# its root, a UNC folder, a kill, a Ctrl-C and the console's close, log-off and shut-down events
# are run as well.
#   windows_end_to_end.sh WINE VELDRIN_GRID_EXE LINUX_VELDRIN_GRID CONSOLE_EVENT_PROBE_EXE
set -uo pipefail
wine=$1 exe=$2 linux=$3 probe=$4

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_status() {  # expected, actual, what
  [[ $2 -eq $1 ]] || fail "$3: exit status $2, expected $1"
}
# Every file of a folder with its checksum, one line each, sorted by name.
listing() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
# Waits (at most a minute) until the file shows the text.
wait_for() {  # file, text
  for _ in $(seq 600); do
    grep -qF "$2" "$1" 2>/dev/null && return
    sleep 0.1
  done
}
same_folders() {  # windows folder, linux folder, what
  if ! diff <(listing "$1") <(listing "$2") >"$work/diff" 2>&1; then
    fail "$3: the Windows and Linux results differ"
    cat "$work/diff" >&2
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winfolder_unix="$work/地図 フォルダ"
linfolder="$work/linux"
winfolder=$(winepath -w "$winfolder_unix" 2>/dev/null)
[[ -n $winfolder ]] || { echo "FAIL: winepath gave no name" >&2; exit 1; }

# The sample, written by the Windows program into a folder it creates.
"$wine" "$exe" --sample "$winfolder" -q >"$work/out" 2>&1
expect_status 0 $? "--sample"
"$linux" --sample "$linfolder" -q
# A second --sample into it replaces nothing: status 2 before anything is written.
before=$(listing "$winfolder_unix")
"$wine" "$exe" --sample "$winfolder" -q >"$work/out" 2>&1
expect_status 2 $? "--sample into a sample folder"
[[ $(listing "$winfolder_unix") == "$before" ]] || fail "--sample: an existing folder changed"
[[ $(ls "$winfolder_unix" | wc -l) -ge 12 ]] || fail "--sample: $(ls "$winfolder_unix" | wc -l) files"
same_folders "$winfolder_unix" "$linfolder" "the sample"

# A dry run changes nothing and names the files as Windows writes them, in UTF-8 on a pipe.
before=$(listing "$winfolder_unix")
"$wine" "$exe" -f "$winfolder" -n >"$work/dry" 2>"$work/dry.err"
expect_status 0 $? "dry run"
[[ $(listing "$winfolder_unix") == "$before" ]] || fail "dry run: the folder changed"
grep -qF "  read     $winfolder\\MAP25166902-1.BMP" "$work/dry" ||
  fail "dry run: no Windows name of the first base map in: $(head -3 "$work/dry")"
grep -qF " 徳之島 1/4 [tk4]" "$work/dry" || fail "dry run: no Japanese display name"

# The first run: statuses in UTF-8 on the pipe, results as on Linux.
"$wine" "$exe" -f "$winfolder" >"$work/run1" 2>&1
expect_status 0 $? "first run"
"$linux" -f "$linfolder" -q
expect_status 0 $? "first Linux run"
grep -qF " 完了しました" "$work/run1" || fail "first run: no final text in: $(tail -2 "$work/run1")"
grep -qF " : fixed illegal format" "$work/run1" || fail "first run: the bad sample was not repaired"
same_folders "$winfolder_unix" "$linfolder" "first run"

# The second run backs the first results up as .OLD and replaces them; a third keeps those
# backups.
for run in second third; do
  "$wine" "$exe" -f "$winfolder" -q -b normal -t xray
  expect_status 0 $? "$run run"
  "$linux" -f "$linfolder" -q -b normal -t xray
  same_folders "$winfolder_unix" "$linfolder" "$run run"
done
[[ $(ls "$winfolder_unix" | grep -c '\.OLD$') -eq 15 ]] ||
  fail "second run: $(ls "$winfolder_unix" | grep -c '\.OLD$') backups, expected 15"

# Another target type, for some maps only.
"$wine" "$exe" -f "$winfolder" -q -t nostatics -m ft2,tk4
expect_status 0 $? "no-statics targets"
"$linux" -f "$linfolder" -q -t nostatics -m ft2,tk4
same_folders "$winfolder_unix" "$linfolder" "no-statics targets"

# A drive root: names with a doubled separator after "M:\".
root_unix="$work/root"
cp -r "$linfolder" "$root_unix"
prefix=${WINEPREFIX:-$HOME/.wine}
ln -sfn "$root_unix" "$prefix/dosdevices/m:"
"$wine" "$exe" -f 'M:\' -q -m i1,m4 -t normal
expect_status 0 $? "drive root"
"$wine" "$exe" -f 'M:\' -n -m i1 >"$work/root.dry" 2>&1
grep -qF 'read     M:\\MAP3687478-1.BMP' "$work/root.dry" ||
  fail "drive root: no doubled separator in: $(head -2 "$work/root.dry")"
rm -f "$prefix/dosdevices/m:"
"$linux" -f "$linfolder" -q -m i1,m4 -t normal
same_folders "$root_unix" "$linfolder" "drive root"

# "-f M:" is the root of M:, as the map names made from it are, not M:'s current folder: started
# in M:\sub, the run locks the root and deletes the leftovers of killed runs there, not in sub.
mkdir "$root_unix/sub"
touch "$root_unix/.veldrin-save-aaaaaa.tmp" "$root_unix/sub/.veldrin-save-bbbbbb.tmp"
ln -sfn "$root_unix" "$prefix/dosdevices/m:"
(cd "$root_unix/sub" && "$wine" "$exe" -f 'M:' -q -m i1 -t nostatics)
expect_status 0 $? "drive without its root"
rm -f "$prefix/dosdevices/m:"
[[ -e "$root_unix/MAP2-NS1.BMP" ]] || fail "drive without its root: no result in the root"
[[ ! -e "$root_unix/.veldrin-save-aaaaaa.tmp" ]] || fail "drive without its root: leftover kept"
[[ -e "$root_unix/sub/.veldrin-save-bbbbbb.tmp" ]] || fail "drive without its root: sub cleaned"

# A UNC folder (Wine serves \\localhost\maps from dosdevices/unc). A run killed while it saves
# leaves its temporaries; the next run deletes them and leaves none of its own.
unc_unix="$work/unc"
mkdir "$unc_unix"
cp "$linfolder/MAP25166902-1.BMP" "$linfolder/MAP3687478-4.BMP" "$unc_unix/"
mkdir -p "$prefix/dosdevices/unc/localhost"
ln -sfn "$unc_unix" "$prefix/dosdevices/unc/localhost/maps"
"$wine" "$exe" -f '\\localhost\maps\' -q -m i4
expect_status 0 $? "UNC folder"
[[ -e "$unc_unix/MAP2-X4.BMP" ]] || fail "UNC folder: no result"
"$wine" "$exe" -f '\\localhost\maps' -m ft1 >"$work/kill.err" 2>&1 &
runner=$!
wait_for "$work/kill.err" ' : saving'
kill -KILL "$runner"
wait "$runner" 2>/dev/null
"$wine" "$exe" -f '\\localhost\maps' -q -m i4
expect_status 0 $? "UNC folder after a kill"
leftovers=$(ls -A "$unc_unix" | grep '^\.veldrin-')
[[ -z $leftovers ]] || fail "UNC folder after a kill: left $leftovers"
rm -f "$prefix/dosdevices/unc/localhost/maps"

# Exit statuses of the usage errors.
"$wine" "$exe" -f "$winfolder\\missing" -q >/dev/null 2>&1
expect_status 2 $? "missing folder"
"$wine" "$exe" -f "$winfolder" -b sepia >/dev/null 2>&1
expect_status 2 $? "unknown map type"
"$wine" "$exe" -f "$winfolder" -b nostatics -m i1 >/dev/null 2>&1
expect_status 2 $? "missing base map"
"$wine" "$exe" --version >"$work/version" 2>&1
expect_status 0 $? "--version"

# A map that cannot be loaded fails the run with status 1 and its message.
printf 'BMxx' >"$winfolder_unix/MAP2097782-1.BMP"
"$wine" "$exe" -f "$winfolder" -m tk1 >"$work/bad" 2>&1
expect_status 1 $? "unreadable map"
grep -q '^veldrin-grid: ' "$work/bad" || fail "unreadable map: no message in: $(cat "$work/bad")"

# Ctrl-C, and the console's close, log-off and shut-down events, stop a run after its current
# row: a map still being drawn is not saved, one already being reduced or saved is finished, and
# no further map starts. Each is sent as soon as the run prints its first text, but reaches the
# program a moment later, on a thread the system starts in it for the event, so the map it lands
# in is not known beforehand; usually it is the first one's loading or drawing. Whatever it is,
# exactly the maps that reached their reduction are saved, and they must be what the Linux build
# makes of them. Three maps of 8 bits, all zeros, keep the run going meanwhile; each run has a
# folder of its own.
le32() {
  local b
  for b in 0 8 16 24; do printf "\\x$(printf %02x $((($1 >> b) & 255)))"; done
}
bmp8() {  # width (a multiple of 4), height
  printf 'BM'; le32 $((1078 + $1 * $2)); le32 0; le32 1078
  le32 40; le32 "$1"; le32 "$2"; printf '\x01\0\x08\0'; le32 0; le32 0; le32 0; le32 0
  le32 256; le32 0
  head -c $((1024 + $1 * $2)) /dev/zero
}
# Runs over a fresh folder of big maps; once the run has printed its first text, calls $2 with
# the run's process id. Leaves the run's status in $?.
interrupted_run() {  # what, how to interrupt
  big_unix="$work/大きな地図 $1"
  mkdir "$big_unix"
  bmp8 4096 4096 >"$big_unix/MAP25166902-1.BMP"
  bmp8 2304 1600 >"$big_unix/MAP3687478-1.BMP"
  bmp8 2560 2048 >"$big_unix/MAP5243958-1.BMP"
  rm -rf "$work/big-linux"
  cp -r "$big_unix" "$work/big-linux"
  : >"$work/int.err"
  "$wine" "$exe" -f "$(winepath -w "$big_unix")" >"$work/int.out" 2>"$work/int.err" &
  local runner=$!
  for _ in $(seq 6000); do
    [[ -s $work/int.err ]] && break
    sleep 0.01
  done
  "$2" "$runner"
  wait "$runner"
}
# The maps whose reduction began are saved, as the Linux build saves them; nothing else changed.
expect_finished_maps() {  # what
  local finished=()
  grep -qF " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 等倍 : 減色中" "$work/int.err" && finished+=(ft1)
  grep -qF " イルシェナー 等倍 : 減色中" "$work/int.err" && finished+=(i1)
  grep -qF " マラス 等倍 : 減色中" "$work/int.err" && finished+=(m1)
  echo "$1: maps finished before it was taken: ${finished[*]:-none}"
  if ((${#finished[@]} > 0)); then
    "$linux" -f "$work/big-linux" -q -m "$(IFS=,; echo "${finished[*]}")"
  fi
  same_folders "$big_unix" "$work/big-linux" "$1"
}

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event): status 130, " 中止しました".
send_ctrl_c() { kill -INT "$1"; }
interrupted_run "Ctrl-C" send_ctrl_c
expect_status 130 $? "Ctrl-C"
grep -qF " 中止しました" "$work/int.err" || fail "Ctrl-C: no cancel text in: $(tail -c 200 "$work/int.err")"
expect_finished_maps "Ctrl-C"

# The console closed, the session logging off or shutting down: the probe sends the event as the
# system does, and fails when the tool has loaded user32, which keeps the last two from it.
# Status 143, no final text.
for event in close logoff shutdown; do
  send_event() { "$wine" "$probe" "$event" >"$work/probe.out" 2>&1; probe_status=$?; }
  interrupted_run "$event" send_event
  expect_status 143 $? "$event"
  ((probe_status == 0)) || fail "$event: the probe failed ($probe_status): $(cat "$work/probe.out")"
  ! grep -qF "しました" "$work/int.err" || fail "$event: a final text in: $(tail -c 200 "$work/int.err")"
  expect_finished_maps "$event"
done

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "veldrin-grid.exe under Wine: every result matches the Linux build"
