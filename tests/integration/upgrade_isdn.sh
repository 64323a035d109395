#!/usr/bin/env bash
# tpx upgrade-remote through the real libcapi20 (its remote-CAPI module) to the simulated
# ISDN network of tpxsim: whole upgrades of both systems leave the switch holding exactly the
# images, the test method forces one restart, faults end with their result codes, and the
# trace files follow the trace level.
. "$(dirname "$0")/simlib.sh"
capihome=$work/capihome
mkdir -p "$capihome"

start_sim() {  # system seed dump-dir, then tpxsim options
  local system=$1 seed=$2 dump=$3; shift 3
  mkdir -p "$dump"
  rm -f "$work/sim.out"
  # The B-channel unpaced: the protocol, not 64 kbit/s, is what is tested here.
  "$bin/tpxsim" --isdn 0 --isdn-rate 0 --capi20rc "$capihome" --upgrade "$system" --seed "$seed" --dump "$dump" \
    "$@" >"$work/sim.out" &
  sim=$!
  for _ in $(seq 100); do grep -q ISDN "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
}
upgrade() {  # expected exit status, then tpx upgrade-remote arguments
  local want=$1; shift
  set +e
  HOME=$capihome "$bin/tpx" upgrade-remote --isdn 0123 --quiet "$@" 2>err.txt
  local got=$?
  set -e
  if [ "$got" != "$want" ]; then
    echo "tpx upgrade-remote $*: exit $got, expected $want"; cat err.txt; exit 1
  fi
}
newest() { ls -t Trace/Remote*"$1" | head -1; }

mkdir -p img12 img24
"$bin/tpxsim" --upgrade TPX-12 --seed 3 --make-images img12
"$bin/tpxsim" --upgrade TPX-24W --seed 4 --make-images img24

# TPX-12 at trace level 0: the full CAPI trace, in text mode.
start_sim TPX-12 3 "$work/dump12"
upgrade 0 --system TPX-12 --trace-level 0 img12/first.bin img12/second.bin
stop_sim
cmp "$work/dump12/first.bin" img12/first.bin
cmp "$work/dump12/second.bin" img12/second.bin
prt=$(newest .prt)
grep -q $'^Put CAPI message : CONNECT.REQ\r$' "$prt"
grep -q $'^ Remote S/W Upgrade succeeded \r$' "$prt"
grep -q '^NEGO_START    : 02101003$' "$(newest .001)"
grep -q '^CHECKSUM_ACK  : 021111011303$' "$(newest .002)"

# TPX-24W with Restart First, at level 2: no CAPI trace at all.
sleep 1  # a new second: new trace files
start_sim TPX-24W 4 "$work/dump24"
upgrade 0 --system TPX-24W --test-method first img24/first.bin img24/second.bin
stop_sim
cmp "$work/dump24/first.bin" img24/first.bin
cmp "$work/dump24/second.bin" img24/second.bin
prt=$(newest .prt)
if grep -q 'CAPI message' "$prt"; then echo "level 2 wrote the CAPI trace"; exit 1; fi
grep -q '^RESTART_ACK   : 021114011003$' "$(newest .001)"

# Faults, each with its result code and message.
start_sim TPX-12 3 "$work/x" --upgrade-fault boot-mismatch
upgrade 17 --system TPX-12 img12/first.bin img12/second.bin
grep -q 'Checksum does not match' err.txt
stop_sim
start_sim TPX-12 3 "$work/x" --upgrade-fault drop:40
upgrade 30 --system TPX-12 img12/first.bin img12/second.bin
grep -q 'Abnormal disconnection during data transmission' err.txt
stop_sim
start_sim TPX-12 3 "$work/x" --isdn-fault service-nack
upgrade 15 --system TPX-12 img12/first.bin img12/second.bin
grep -q 'rejected SW Upgrade' err.txt
stop_sim
start_sim TPX-12 3 "$work/x" --upgrade-fault silent-always:5
upgrade 19 --system TPX-12 --timing data=1,1 img12/first.bin img12/second.bin
stop_sim

# No CAPI server at all: libcapi20 reports CAPI as not installed.
upgrade 4 --system TPX-12 img12/first.bin img12/second.bin
grep -q 'CAPI is not installed' err.txt
echo "remote upgrade over libcapi20: ok"
