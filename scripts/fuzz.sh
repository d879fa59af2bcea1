#!/bin/sh
# Builds the libFuzzer targets (fuzz preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them side by side, each over a scratch copy of its seed
# corpus for a bounded time. Fails when a target finds a fault, and keeps its input.
#
#   scripts/fuzz.sh [SECONDS]    seconds per target: the argument, else FUZZ_SECONDS, else 45
#
# FUZZ_TARGETS picks targets (default: all three); FUZZ_BUILD_DIR moves the build folder.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

seconds=${1:-${FUZZ_SECONDS:-45}}
targets=${FUZZ_TARGETS:-"usha wmi_provider pipeline"}
build=${FUZZ_BUILD_DIR:-build/fuzz}
case $seconds in
'' | *[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'"; exit 2 ;;
esac

cmake --preset fuzz -B "$build" >/dev/null
# The preset builds the libraries, the program and the fuzz targets; one build of all of
# them compiles their sources side by side, where one target at a time would not.
cmake --build "$build" -j "$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/findings"

fuzz() {
    # Long enough for messages that span several digest blocks and for scripts with many
    # objects, short enough that every execution stays cheap.
    case $1 in
    usha) max_len=8192 ;;
    *) max_len=4096 ;;
    esac
    cp -R "fuzz/corpus/$1" "$scratch/$1"
    status=0
    "$build/fuzz/${1}_fuzzer" "$scratch/$1" -max_total_time="$seconds" \
        -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$1-" >"$scratch/$1.log" 2>&1 || status=$?
    echo "$status" >"$scratch/$1.status"
}
# Side by side: each target is one process, so one at a time would leave cores idle.
for target in $targets; do
    fuzz "$target" &
done
wait
failed=0
for target in $targets; do
    if [ "$(cat "$scratch/$target.status")" -ne 0 ]; then
        tail -n 60 "$scratch/$target.log"
        echo "FAIL: $target found a fault; its input is in $build/findings/:"
        ls -1 "$build/findings/" | grep "^$target-" || true
        failed=1
    else
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")
        echo "ok: $target ran $runs inputs in $seconds s without a finding"
    fi
done
exit $failed
