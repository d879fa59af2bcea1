# Sourced by test-package.sh and test-bindings.sh, which define fail. fingerprint_expectations
# PRINT_ID KEY sets what the bindings must give alike: print_id's fingerprints for KEY and
# other_key, a copy of the first with the processor's part (field 3) replaced and the board's
# (field 4) toggled between absent and present, and print_id's match of the first with it.
fingerprint_expectations() {
    other_key=f0e1d2c3b4a5968778695a4b3c2d1e0f
    fingerprint=$("$1" --fingerprint "$2") || fail "print_id --fingerprint failed"
    other_fingerprint=$("$1" --fingerprint "$other_key") || fail "print_id --fingerprint failed"
    changed_fingerprint=$(printf '%s\n' "$fingerprint" | awk -F. -v OFS=. \
        '{ $3 = sprintf("%032d", 0); $4 = $4 == "-" ? $3 : "-"; print }')
    match=$("$1" --match "$fingerprint" "$changed_fingerprint") || fail "print_id --match failed"
    [ "$(printf '%s\n' "$match" | sed -n 's/^changed: //p')" = "processor, board" ] ||
        fail "print_id --match of a fingerprint and its changed copy printed: $match"
}
