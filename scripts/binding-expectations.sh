# Sourced by test-package.sh and test-bindings.sh, which define fail and scratch.
# binding_expectations PRINT_ID sets what every binding must give alike, as PRINT_ID gives it:
# app_id, the application ID for app_key; verdict, the description's; fingerprint and
# other_fingerprint, the fingerprints for app_key and other_key; changed_fingerprint, a copy
# of the first with the processor's part (field 3) replaced and the board's (field 4) toggled
# between absent and present, and match, PRINT_ID's match of the first with it. It also sets
# connection_failure, the message of the test builds whose WMI connection fails
# (tests/bindings).
binding_expectations() {
    app_key=000102030405060708090a0b0c0d0e0f
    other_key=f0e1d2c3b4a5968778695a4b3c2d1e0f
    connection_failure="Could not connect. Error code = 0x8004100e"
    app_id=$("$1" --app "$app_key") || fail "print_id --app failed"
    printf '%s\n' "$app_id" | grep -Eqx '[0-9a-f]{64}' || fail "print_id --app printed '$app_id'"
    "$1" --describe >"$scratch/describe.out" || fail "print_id --describe failed"
    verdict=$(sed -n 's/^verdict: \([a-z ]*\):.*/\1/p' "$scratch/describe.out")
    [ "$verdict" = "serial number" ] || [ "$verdict" = "model only" ] ||
        fail "print_id --describe printed: $(cat "$scratch/describe.out")"
    fingerprint=$("$1" --fingerprint "$app_key") || fail "print_id --fingerprint failed"
    other_fingerprint=$("$1" --fingerprint "$other_key") || fail "print_id --fingerprint failed"
    changed_fingerprint=$(printf '%s\n' "$fingerprint" | awk -F. -v OFS=. \
        '{ $3 = sprintf("%032d", 0); $4 = $4 == "-" ? $3 : "-"; print }')
    match=$("$1" --match "$fingerprint" "$changed_fingerprint") || fail "print_id --match failed"
    [ "$(printf '%s\n' "$match" | sed -n 's/^changed: //p')" = "processor, board" ] ||
        fail "print_id --match of a fingerprint and its changed copy printed: $match"
}
