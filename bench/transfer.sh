#!/usr/bin/env bash
# Database transfer against the line-rate limit: tpx download and tpx upload of a 256 KiB
# basic database through the real serial layer, tpxsim pacing at 115200 baud.
#
#   bench/transfer.sh [BUILD_DIR]
#
# The limit is the bytes the line carried (both directions, from tpxsim's count) at 10 bits
# each, plus the pauses the protocol prescribes (the upload waits 1 s before it starts).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
baud=115200
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TPX_HOME=$work/home XDG_CONFIG_HOME=$work/config
cd "$work"

run() {  # direction, extra tpxsim options
  local dir=$1; shift
  rm -f com1
  "$bin/tpxsim" --pty "$work/com1" --baud $baud --version 5.3Aa --basic-size 262144 "$@" >sim.out &
  local sim=$!
  for _ in $(seq 100); do [ -e com1 ] && break; sleep 0.05; done
  local extra=()
  [ "$dir" = upload ] && extra=(--yes)
  TIMEFORMAT='%U %S'
  { time "$bin/tpx" $dir --device "$work/com1" --baud $baud --password '' "${extra[@]}" bench.usr \
      >out.txt 2>/dev/null ; } 2>cpu.txt
  kill $sim; wait $sim 2>/dev/null || true
  local secs cpu out in limit pause=0
  secs=$(sed -n 's/.*(transfer \([0-9.]*\) s).*/\1/p' out.txt)
  cpu=$(awk '{print $1 + $2}' cpu.txt)
  read -r out in < <(sed -n 's/tpxsim: line bytes out \([0-9]*\) in \([0-9]*\)/\1 \2/p' sim.out)
  [ "$dir" = upload ] && pause=1
  limit=$(awk -v o="$out" -v i="$in" -v b=$baud -v p=$pause 'BEGIN { printf "%.2f", (o + i) * 10 / b + p }')
  awk -v d="$dir" -v s="$secs" -v l="$limit" -v c="$cpu" -v o="$out" -v i="$in" 'BEGIN {
    printf "%-8s 256 KiB: %6.2f s; line-rate limit %6.2f s (%d bytes out, %d in); %+5.1f %%; CPU %.2f s = %.1f %% of the transfer\n",
      d, s, l, o, i, (s / l - 1) * 100, c, c / s * 100 }'
}

run download
run upload
