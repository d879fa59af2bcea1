#!/bin/sh
# Runs the program on this machine's hardware with standard input from /dev/null: it must
# not wait, must exit 0 and must print the ID line and the key prompt last. The arguments are
# the command that runs it: the program, after its emulator in a cross build.
set -u
output=$(timeout 20 "$@" </dev/null)
status=$?
fail() { echo "FAIL: $1"; echo "$output"; exit 1; }

[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(printf '%s\n' "$output" | head -n 3)" = "Calling InitializeCOM
Done InitializeCOM
Calling GetComputerID" ] || fail "start of the transcript"
[ "$(printf '%s\n' "$output" | grep -c '^comp id = ')" -eq 1 ] || fail "not exactly one comp id line"
printf '%s\n' "$output" | grep -Eq '^comp id = [0-9a-f]{33,64}$' || fail "comp id format"
[ "$(printf '%s\n' "$output" | tail -n 1)" = "Press any key.." ] || fail "last line"
printf '%s\n' "$output" | grep -q '^Do pEnumerator->Next() # 0$' || fail "no enumeration"
id=$(printf '%s\n' "$output" | grep '^comp id = ')
again=$(timeout 20 "$@" </dev/null | grep '^comp id = ')
[ "$id" = "$again" ] || fail "a second run gave '$again', the first '$id'"
echo "$id"
