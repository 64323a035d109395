#!/usr/bin/env bash
# Remote software upgrade against the B-channel's limit: tpx upgrade-remote of a TPX-12 image
# pair (958 blocks of 1024 bytes) through the real libcapi20 to tpxsim's ISDN network, whose
# B-channel carries 64 kbit/s.
#
#   bench/upgrade_remote.sh [BUILD_DIR] [SYSTEM]
#
# The limit is the frame bytes the B-channel carried (both directions, from tpxsim's count)
# at 8 bytes per millisecond: the protocol waits for each answer, so the directions add up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
system=${2:-TPX-12}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TPX_HOME=$work/home XDG_CONFIG_HOME=$work/config
capihome=$work/capihome
mkdir -p "$capihome"
cd "$work"

"$bin/tpxsim" --upgrade "$system" --seed 5 --make-images "$work"
"$bin/tpxsim" --isdn 0 --capi20rc "$capihome" --upgrade "$system" --seed 5 >sim.out &
sim=$!
for _ in $(seq 100); do grep -q ISDN sim.out 2>/dev/null && break; sleep 0.05; done
TIMEFORMAT='%R %U %S'
{ time HOME=$capihome "$bin/tpx" upgrade-remote --isdn 0123 --system "$system" --quiet first.bin second.bin \
    >/dev/null 2>&1 ; } 2>time.txt
kill $sim; wait $sim 2>/dev/null || true
read -r secs user sys <time.txt
read -r out in < <(sed -n 's/tpxsim: B-channel bytes out \([0-9]*\) in \([0-9]*\)/\1 \2/p' sim.out)
awk -v sy="$system" -v s="$secs" -v u="$user" -v k="$sys" -v o="$out" -v i="$in" 'BEGIN {
  limit = (o + i) / 8000
  printf "%s remote upgrade: %.1f s; B-channel limit %.1f s (%d bytes out, %d in at 64 kbit/s); %+.1f %%; CPU %.2f s = %.2f %% of the run\n",
    sy, s, limit, o, i, (s / limit - 1) * 100, u + k, (u + k) / s * 100 }'
