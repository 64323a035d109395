#!/usr/bin/env bash
# tpx programs against tpxsim on a real pseudo-terminal: the command tree of the switch's
# command file, and a program started by keyset: its key codes reach the switch and the
# switch's display comes back decoded.
. "$(dirname "$0")/simlib.sh"

start_sim() {
  rm -f "$work/keys"
  run_sim --baud 19200 --key-log "$work/keys" "$@"
}
keys() { tr '\n' ' ' <"$work/keys"; }

# TPX560, version 4.0Aa, nation 82: the Korean program, not the American one.
start_sim
"$bin/tpx" programs --device "$work/com1" --baud 19200 --password '' --start 'Admin Password' >out.txt
grep -q '^    Caller ID Format  #50$' out.txt
if grep -q 'Emergency Number' out.txt; then echo "another nation's program listed"; exit 1; fi
grep -qx 'ADMIN PASSWORD' out.txt
grep -q '^PASSWORD *-$' out.txt
# TRANS/PGM, the program code 1 1, flexible key 1, and MON when done.
[ "$(keys)" = "253 56 1 1 13 51 " ] || { echo "keys: $(keys)"; exit 1; }
stop_sim

# TPX-LYRA: menus by flexible key, three levels down.
start_sim --model 4
"$bin/tpx" programs --device "$work/com1" --baud 19200 --password '' --start 'DSS Console' >out.txt
grep -q '^      DSS Console$' out.txt
grep -qx 'DSS CONSOLE' out.txt
[ "$(keys)" = "253 56 14 16 14 51 " ] || { echo "keys: $(keys)"; exit 1; }

# Without a switch: the file for the values given.
"$bin/tpx" programs --model 3 --version 5.0Aa --nation 1FFF >out.txt
grep -q '^    ISDN Numbering  #46$' out.txt
grep -q '^    Emergency Number  #51$' out.txt
if "$bin/tpx" programs --model x 2>/dev/null; then exit 1; fi
echo "programs over pty: ok"
