#!/usr/bin/env bash
# tpx upgrade-local against tpxsim's maintenance port on a real pseudo-terminal: whole
# upgrades of both systems leave the switch holding exactly the images, the test method
# forces one restart, recoverable faults are ridden out and the others end with their
# result codes.
. "$(dirname "$0")/simlib.sh"

upgrade() {  # expected exit status, then tpx upgrade-local arguments
  local want=$1; shift
  set +e
  "$bin/tpx" upgrade-local --device "$work/com1" --baud 115200 --quiet "$@" 2>err.txt
  local got=$?
  set -e
  if [ "$got" != "$want" ]; then
    echo "tpx upgrade-local $*: exit $got, expected $want"; cat err.txt; exit 1
  fi
}
images() {  # system seed dir
  mkdir -p "$3"
  "$bin/tpxsim" --upgrade "$1" --seed "$2" --make-images "$3"
}

images TPX-12 3 "$work/img12"
images TPX-24W 4 "$work/img24"

# TPX-12: the switch ends holding the images.
run_sim --upgrade TPX-12 --seed 3 --baud 0 --dump "$work/dump12"
mkdir -p "$work/dump12"
upgrade 0 --system TPX-12 "$work/img12/first.bin" "$work/img12/second.bin"
stop_sim
cmp "$work/dump12/first.bin" "$work/img12/first.bin"
cmp "$work/dump12/second.bin" "$work/img12/second.bin"
ls Trace/Local*.prt >/dev/null
grep -q ' Local S/W Upgrade succeeded ' Trace/Local*.prt

# TPX-24W with Restart First: one refused total checksum, one restart, then the images.
run_sim --upgrade TPX-24W --seed 4 --baud 0 --dump "$work/dump24"
mkdir -p "$work/dump24"
upgrade 0 --system TPX-24W --test-method first "$work/img24/first.bin" "$work/img24/second.bin"
stop_sim
cmp "$work/dump24/first.bin" "$work/img24/first.bin"
cmp "$work/dump24/second.bin" "$work/img24/second.bin"
grep -q 'restarts 1, checksums refused 1' "$work/sim.out"

# A stray byte, a lost answer and a NACK on the way: ridden out, the images arrive.
rm -rf "$work/dump12"; mkdir -p "$work/dump12"
run_sim --upgrade TPX-12 --seed 3 --baud 0 --dump "$work/dump12" \
  --upgrade-fault stray:5 --upgrade-fault silent:700 --upgrade-fault nack:900
upgrade 0 --system TPX-12 --timing data=1,3 "$work/img12/first.bin" "$work/img12/second.bin"
stop_sim
cmp "$work/dump12/first.bin" "$work/img12/first.bin"
cmp "$work/dump12/second.bin" "$work/img12/second.bin"

# Faults that end the session, with their result codes and messages.
run_sim --upgrade TPX-12 --seed 3 --baud 0 --upgrade-fault drop:50
upgrade 14 --system TPX-12 --timing data=1,1 "$work/img12/first.bin" "$work/img12/second.bin"
grep -q 'Too many communication errors' err.txt
stop_sim
run_sim --upgrade TPX-12 --seed 3 --baud 0 --upgrade-fault boot-mismatch
upgrade 11 --system TPX-12 "$work/img12/first.bin" "$work/img12/second.bin"
grep -q 'Checksum does not match' err.txt
stop_sim
run_sim --upgrade TPX-12 --seed 3 --baud 0 --upgrade-fault no-prompt
upgrade 9 --system TPX-12 --timing negotiation=5,1 "$work/img12/first.bin" "$work/img12/second.bin"
grep -q 'Local negotiation failed' err.txt
stop_sim

# Images of the wrong system, and names the wizard would refuse.
upgrade 6 --system TPX-24W "$work/img12/first.bin" "$work/img12/second.bin"
upgrade 2 --system TPX-12 "$work/img12/first.bin" "$work/img12/first.bin"
echo "local upgrade over pty: ok"
