#!/bin/sh
# Builds the libFuzzer targets (fuzz preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each, one at a time, over a scratch copy of its seed
# corpus for a bounded time. Fails on the first finding and keeps its input.
#
#   scripts/fuzz.sh [SECONDS]    seconds per target: the argument, else FUZZ_SECONDS, else 60
#
# FUZZ_TARGETS picks targets (default: all three); FUZZ_BUILD_DIR moves the build folder.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

seconds=${1:-${FUZZ_SECONDS:-60}}
targets=${FUZZ_TARGETS:-"usha wmi_provider pipeline"}
build=${FUZZ_BUILD_DIR:-build/fuzz}
case $seconds in
'' | *[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'"; exit 2 ;;
esac

cmake --preset fuzz -B "$build" >/dev/null
for target in $targets; do
    cmake --build "$build" -j "$(nproc)" --target "${target}_fuzzer"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/findings"

for target in $targets; do
    # Long enough for messages that span several digest blocks and for scripts with many
    # objects, short enough that every execution stays cheap.
    case $target in
    usha) max_len=8192 ;;
    *) max_len=4096 ;;
    esac
    cp -R "fuzz/corpus/$target" "$scratch/$target"
    log="$scratch/$target.log"
    started=$(date +%s)
    if ! "$build/fuzz/${target}_fuzzer" "$scratch/$target" -max_total_time="$seconds" \
        -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "FAIL: $target found a fault; its input is in $build/findings/:"
        ls -1 "$build/findings/" | grep "^$target-" || true
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "ok: $target ran $runs inputs in $(($(date +%s) - started)) s without a finding"
done
