#!/usr/bin/env bash
# tpx console against tpxsim on a real pseudo-terminal: the bytes cross the real termios
# layer both ways, the terminal rules shape what is shown and the transcript records it.
. "$(dirname "$0")/simlib.sh"

run_sim --baud 9600

out=$("$bin/tpx" console --device "$work/com1" --send 'HELLO\r' --quiet 300)
expected=$'HELLO\nTPX560 ADMIN PASSWORD: '
if [ "$out" != "$expected" ]; then
  printf 'unexpected console output:\n%q\n' "$out"; exit 1
fi
grep -q '(L) : Connection Success\.' trace.txt
grep -q '(L) <- 48 45 4c 4c 4f 0d $' trace.txt
grep -q '(L) : Connection closed\.' trace.txt

# Login and identification through the real serial layer.
"$bin/tpx" identify --device "$work/com1" --password '' >id.txt
grep -q '^model: *2 TPX560 Office$' id.txt
grep -q '^version: *4.0Aa$' id.txt
grep -q '(L) <- fd $' trace.txt

stop_sim
run_sim --baud 19200 --model 2 --version 4.0Di --nation 52FF --password 1234 --ext-memory
"$bin/tpx" identify --device "$work/com1" --baud 19200 --password 1234 >id.txt
grep -q '^model: *18 TPX560 Hotel$' id.txt
grep -q '^nation: *52FF$' id.txt
grep -q '^extension: *yes' id.txt
grep -q '(L) <- 01 02 03 04 $' trace.txt
if "$bin/tpx" identify --device "$work/com1" --baud 19200 --password 9999 2>err.txt; then
  echo "a wrong password was accepted"; exit 1
fi
grep -q 'refused' err.txt

# A port that another program holds is refused, with the reason.
exec 9<>"$work/com1"
flock -n 9
if "$bin/tpx" console --device "$work/com1" --send 'x' 2>err.txt; then
  echo "a busy port was opened"; exit 1
fi
grep -q 'cannot open.*busy' err.txt
exec 9>&-

# A device that does not exist.
if "$bin/tpx" console --device "$work/nothing" --send 'x' 2>/dev/null; then exit 1; fi
echo "console over pty: ok"
