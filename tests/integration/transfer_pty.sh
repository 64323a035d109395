#!/usr/bin/env bash
# tpx download and tpx upload against tpxsim over real pseudo-terminals: the round trip
# restores the switch's memory except the protected fields, and faults on the line reach
# their outcomes.
. "$(dirname "$0")/simlib.sh"

start_sim() {  # dump-dir, then tpxsim options
  local dump=$1; shift
  mkdir -p "$dump"
  run_sim --baud 115200 --version 5.3Aa --basic-size 30000 --dump "$dump" "$@"
}
link=(--device "$work/com1" --baud 115200 --password '')

# Round trip with extension memory.
start_sim "$work/a" --ext-memory --seed 1
"$bin/tpx" download "${link[@]}" site.usr 2>/dev/null >out.txt
grep -q 'basic 30000 bytes, extension 8192 bytes, 0 retries' out.txt
[ "$(stat -c %s site.usr)" -eq $((140 + 30000)) ]
[ "$(stat -c %s site.exp)" -eq $((70 + 8192)) ]
stop_sim
start_sim "$work/b" --ext-memory --seed 2
"$bin/tpx" upload "${link[@]}" --yes site.usr 2>/dev/null >/dev/null
stop_sim
cmp "$work/a/ext.bin" "$work/b/ext.bin"
# Every difference in the basic memory lies in a protected field (records of 248 bytes from
# 5.2 on, the 8 bytes from offset 220); the header (78 bytes) is the switch's own.
{ cmp -l "$work/a/basic.bin" "$work/b/basic.bin" || true; } | awk '
  { i = $1 - 1 - 78; if (i < 0) next; r = i % 248
    if (i >= 192 * 248 || r < 220 || r >= 228) { print "unprotected byte differs: " i; bad = 1 } n++ }
  END { if (n == 0) { print "nothing differs: the fields were not kept"; bad = 1 } exit bad }'

# A bad block is sent again and the download completes; a refused packet likewise.
start_sim "$work/c" --fault bad-block:2
"$bin/tpx" download "${link[@]}" again.usr 2>/dev/null >out.txt
grep -q '1 retries' out.txt
stop_sim
start_sim "$work/d" --fault nak:3
"$bin/tpx" upload "${link[@]}" --yes again.usr 2>err.txt >/dev/null
grep -q 'R_NAK' err.txt
stop_sim

# Bad blocks every time: the download fails, says why, and leaves no file.
start_sim "$work/e" --fault bad-block-always:1
if "$bin/tpx" download "${link[@]}" failed.usr 2>err.txt; then echo "a failing download succeeded"; exit 1; fi
grep -q 'DownLoad Fail!! (Retry:' err.txt
[ ! -e failed.usr ] && [ ! -e failed.usr.part~ ]
stop_sim
echo "transfers over pty: ok"
