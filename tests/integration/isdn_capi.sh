#!/usr/bin/env bash
# tpx over ISDN: libisdnlink.so through the real libcapi20 (its remote-CAPI module) to the
# simulated ISDN network of tpxsim, against the same switch over a pseudo-terminal.
set -euo pipefail
bin=$1
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; rm -rf "$work"' EXIT
export TPX_HOME=$work/home XDG_CONFIG_HOME=$work/config
capihome=$work/capihome
mkdir -p "$capihome"
cd "$work"

start_sim() {  # tpxsim options
  rm -f "$work/com1" "$work/sim.out"
  "$bin/tpxsim" --isdn 0 --capi20rc "$capihome" --pty "$work/com1" --baud 115200 --version 5.3Aa \
    --basic-size 20000 "$@" >"$work/sim.out" &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/com1" ] && grep -q ISDN "$work/sim.out" && break; sleep 0.05; done
}
stop_sim() { kill $sim; wait $sim 2>/dev/null || true; sim=""; }
isdn() { HOME=$capihome "$bin/tpx" "$@" --isdn 0123 --password ''; }

mkdir -p "$work/a" "$work/b"
start_sim --ext-memory --seed 1 --dump "$work/a"
isdn identify >id.txt
grep -q '^model: *2 TPX560 Office$' id.txt
grep -q '(R) : Connection Success\.' trace.txt
grep -q '(R) <- fd$' trace.txt

# The same database over ISDN and over the serial line.
isdn download viaisdn.usr 2>/dev/null >out.txt
grep -q 'basic 20000 bytes, extension 8192 bytes' out.txt
"$bin/tpx" download --device "$work/com1" --baud 115200 --password '' viapty.usr 2>/dev/null >/dev/null
cmp viaisdn.usr viapty.usr
cmp viaisdn.exp viapty.exp
grep -q '^ Remote ZU VODUV Start time is ' "$TPX_HOME/ReZUVODUV.prt"
grep -q '^DATA_MPB      : ' "$TPX_HOME/ReZUVODUV.LOG"

# An idle ISDN link for 10 s costs next to no CPU.
TIMEFORMAT='%U %S'
{ time HOME=$capihome "$bin/tpx" console --isdn 0123 --send '' --quiet 10000 >/dev/null 2>&1 ; } 2>cpu.txt
cpu=$(awk '{print $1 + $2}' cpu.txt)
echo "idle ISDN link, 10 s: ${cpu} s CPU"
awk -v c="$cpu" 'BEGIN { exit !(c < 0.2) }'
stop_sim

# Upload over ISDN into another switch: its memory then matches except the protected fields.
start_sim --ext-memory --seed 2 --dump "$work/b"
isdn upload --yes viaisdn.usr 2>/dev/null >/dev/null
stop_sim
cmp "$work/a/ext.bin" "$work/b/isdn/ext.bin"
{ cmp -l "$work/a/basic.bin" "$work/b/isdn/basic.bin" || true; } | awk '
  { i = $1 - 1 - 78; if (i < 0) next; r = i % 248
    if (i >= 192 * 248 || r < 220 || r >= 228) { print "unprotected byte differs: " i; bad = 1 } n++ }
  END { if (n == 0) { print "nothing differs: the fields were not kept"; bad = 1 } exit bad }'

# A switch that refuses the service: the dial fails with its code and leaves nothing.
start_sim --isdn-fault service-nack
if isdn download refused.usr 2>err.txt; then echo "a refused dial went on"; exit 1; fi
grep -q 'failed (-1' err.txt
grep -q '(R) : Connection Failed. (-1)' trace.txt
[ ! -e refused.usr ]
stop_sim
echo "isdn over libcapi20: ok"
