#!/usr/bin/env bash
# Local software upgrade against the line-rate limit: tpx upgrade-local of a TPX-24W image
# pair (2 MiB, 7424 blocks) through the real serial layer, tpxsim pacing at 115200 baud.
#
#   bench/upgrade_local.sh [BUILD_DIR] [SYSTEM]
#
# The limit is the bytes the line carried (both directions, from tpxsim's count) at 10 bits
# each, plus the 15 s the protocol waits before it asks for the version.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
system=${2:-TPX-24W}
baud=115200
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TPX_HOME=$work/home XDG_CONFIG_HOME=$work/config
cd "$work"

"$bin/tpxsim" --upgrade "$system" --seed 5 --make-images "$work"
"$bin/tpxsim" --pty "$work/com1" --upgrade "$system" --seed 5 --baud $baud >sim.out &
sim=$!
for _ in $(seq 100); do [ -e com1 ] && break; sleep 0.05; done
TIMEFORMAT='%R %U %S'
{ time "$bin/tpx" upgrade-local --device "$work/com1" --baud $baud --system "$system" --quiet \
    first.bin second.bin >/dev/null 2>&1 ; } 2>time.txt
kill $sim; wait $sim 2>/dev/null || true
read -r secs user sys <time.txt
read -r out in < <(sed -n 's/tpxsim: line bytes out \([0-9]*\) in \([0-9]*\)/\1 \2/p' sim.out)
awk -v sy="$system" -v s="$secs" -v u="$user" -v k="$sys" -v o="$out" -v i="$in" -v b=$baud 'BEGIN {
  limit = (o + i) * 10 / b + 15
  printf "%s upgrade: %.1f s; line-rate limit %.1f s (%d bytes out, %d in, + 15 s version pause); %+.1f %%; CPU %.2f s = %.2f %% of the run\n",
    sy, s, limit, o, i, (s / limit - 1) * 100, u + k, (u + k) / s * 100 }'
