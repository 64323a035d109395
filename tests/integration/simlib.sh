# Sourced by the integration scripts with the bin folder as $1: a work folder that goes away
# at exit with a TPX home inside it, and tpxsim on a pseudo-terminal at $work/com1.
set -euo pipefail
bin=$1
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; rm -rf "$work"' EXIT
export TPX_HOME=$work/home XDG_CONFIG_HOME=$work/config
cd "$work"

# run_sim OPTIONS...: tpxsim --pty $work/com1 with the options; returns once the link exists.
run_sim() {
  rm -f "$work/com1"
  "$bin/tpxsim" --pty "$work/com1" "$@" >>"$work/sim.out" &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/com1" ] && break; sleep 0.05; done
  [ -e "$work/com1" ] || { echo "tpxsim did not start"; exit 1; }
}
stop_sim() { kill $sim; wait $sim 2>/dev/null || true; sim=""; }
