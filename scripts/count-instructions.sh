#!/bin/sh
# Counts the instructions that our digest engines and OpenSSL's take per MiB of message: a
# figure that, unlike a time, is the same on every machine that runs the same code. For each
# build counted and each variant, digest_instructions hashes one message of COUNT_MIB MiB
# (default 2) once with ours and once with OpenSSL's, the latter held to the same extensions
# as the build's benchmark program; valgrind counts the instructions of that one hashing. One
# table per build. About half a minute at 2 MiB on two cores: valgrind runs a program on one
# core, so the runs go as many at a time as there are cores.
#
# Builds the programs it runs in the Release benchmark build (BENCH_BUILD_DIR, default
# build/bench), which must be configured as docs/benchmarks.md ("How to run") says.
#
# valgrind's processor has neither the SHA extensions nor AVX-512, so under it every build
# runs what the one without them (_avx2_only) runs: that one and the portable one are
# counted. Cachegrind counts instructions, but in valgrind 3.19 (Debian 12) not one function's
# alone; callgrind counts the same instructions and can (--toggle-collect).
set -eu
cd "$(dirname "$0")/.."

build=${BENCH_BUILD_DIR:-build/bench}
mib=${COUNT_MIB:-2}
programs="digest_instructions_avx2_only digest_instructions_portable"

if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "$build is not configured: see docs/benchmarks.md, \"How to run\"" >&2
    exit 1
fi
# shellcheck disable=SC2086 # one target a word
cmake --build "$build" --target $programs >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
started=$(date +%s)

# Runs $1 (ours or openssl) for variant $2 of program $3 under callgrind; its output goes to
# $scratch/$3.$2.$1.out, the count to $scratch/$3.$2.$1.count. --trace-children: the program
# starts itself again to set OPENSSL_ia32cap; CountedDigest is the common prefix of the names of
# digest_instructions.cpp's counted functions.
cat >"$scratch/count" <<SCRIPT
#!/bin/sh
set -eu
run="$scratch/\$3.\$2.\$1"
if ! valgrind --tool=callgrind --trace-children=yes --collect-atstart=no \\
    --toggle-collect='*CountedDigest*' --callgrind-out-file=/dev/null --log-file="\$run.log" \\
    "$build/benchmarks/\$3" "\$1" "\$2" "$mib" >"\$run.out" 2>&1; then
    cat "\$run.out" "\$run.log" >&2
    echo "FAIL: \$3 \$1 \$2" >&2
    exit 1
fi
sed -n 's/^==[0-9]*== Collected : \([0-9]*\)\$/\1/p' "\$run.log" >"\$run.count"
# None counted: the counted functions were not found.
if ! [ "\$(cat "\$run.count")" -gt 0 ] 2>/dev/null; then
    cat "\$run.log" >&2
    echo "FAIL: \$3 \$1 \$2: no instructions counted in CountedDigest*" >&2
    exit 1
fi
SCRIPT
chmod +x "$scratch/count"

for program in $programs; do
    for variant in $("$build/benchmarks/$program" --variants); do
        echo "ours $variant $program"
        echo "openssl $variant $program"
    done
done | xargs -P "$(nproc)" -L 1 "$scratch/count"

echo "Instructions per MiB of message, in millions: one message of $mib MiB hashed once, counted"
echo "by valgrind's callgrind. valgrind's processor has neither the SHA extensions nor AVX-512,"
echo "so only the builds without them are counted: the AVX2 engines (_avx2_only) and the"
echo "portable ones."
for program in $programs; do
    first=$("$build/benchmarks/$program" --variants | head -n 1)
    echo
    echo "$program"
    # The engines and the OpenSSL limit under valgrind, as the program printed them.
    cat "$scratch/$program.$first.ours.out"
    printf '%-8s %17s %20s %13s\n' Variant "Ours M instr/MiB" "OpenSSL M instr/MiB" "Ours/OpenSSL"
    for variant in $("$build/benchmarks/$program" --variants); do
        ours=$(cat "$scratch/$program.$variant.ours.count")
        theirs=$(cat "$scratch/$program.$variant.openssl.count")
        awk -v variant="$variant" -v ours="$ours" -v theirs="$theirs" -v mib="$mib" 'BEGIN {
            printf "%-8s %17.2f %20.2f %13.3f\n", variant, ours / mib / 1e6,
                theirs / mib / 1e6, ours / theirs
        }'
    done
done
echo
echo "Took $(($(date +%s) - started)) s."
