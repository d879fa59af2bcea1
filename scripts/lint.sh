#!/bin/sh
# Static checks of every C++ source in the repository, all of which must pass:
#   1. clang-format: no file may need formatting (.clang-format);
#   2. clang-tidy with .clang-tidy, over the compile commands of a clang configure of its own
#      (the Linux sources, the Node addon, tests, benchmark and fuzz targets) and of the
#      MinGW-w64 build (preset mingw, shared with test-windows.sh: the Windows sources and
#      tests), over the sources that only the 64-bit ARM build compiles (preset arm64, shared
#      with test-arm64.sh), and over the examples, which build against an installed package
#      and so are in none of them;
#   3. cppcheck over the same sources.
# LINT_BUILD_DIR moves the clang configure (default build/lint).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/install-deps.sh windows
scripts/install-deps.sh arm64

build=${LINT_BUILD_DIR:-build/lint}
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
failed=""

# The compile commands of a configure with each file once: the digest library's variants
# and the scripted platform compile the same sources again, which need checking once.
unique_commands() {
    mkdir -p "$2"
    python3 - "$1/compile_commands.json" "$2/compile_commands.json" <<'PYTHON'
import json, sys
seen = set()
commands = [c for c in json.load(open(sys.argv[1])) if not (c["file"] in seen or seen.add(c["file"]))]
json.dump(commands, open(sys.argv[2], "w"), indent=1)
PYTHON
}
# The files of a compile database, one per line.
compiled() {
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" | sort -u
}

echo "--- clang-format"
find app benchmarks bindings computer_id examples fuzz platform sha tests -name '*.cpp' -o -name '*.h' |
    sort >"$logs/sources"
if ! xargs clang-format --dry-run -Werror <"$logs/sources" 2>"$logs/format"; then
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
        "$logs/format" | sort -u | sed 's/^/needs clang-format: /'
    failed="$failed clang-format"
fi

echo "--- configure"
# The Node addon is checked with the headers of the npm package's lock (bindings/node).
mkdir -p "$build/node"
cp bindings/node/package.json bindings/node/package-lock.json "$build/node/"
(cd "$build/node" && npm ci --ignore-scripts --no-audit --no-fund >npm-ci.log 2>&1) ||
    { cat "$build/node/npm-ci.log"; exit 1; }
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCOMPUTER_ID_BUILD_TESTS=ON \
    -DCOMPUTER_ID_BUILD_BENCHMARKS=ON -DCOMPUTER_ID_BUILD_FUZZERS=ON \
    -DCOMPUTER_ID_NODE_MODULES="$PWD/$build/node" >/dev/null
windows_build=build/mingw
cmake --preset mingw >/dev/null
arm64_build=build/arm64
cmake --preset arm64 >/dev/null

# clang reads the MinGW-w64 C++ library and Windows headers where g++ does, but keeps its
# own compiler headers (GCC's intrinsics are not clang's).
mingw_args="--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++"
for dir in $(x86_64-w64-mingw32-g++-posix -E -x c++ -v /dev/null 2>&1 |
    sed -n '/^#include <...> search starts here/,/^End of search list/s/^ //p' |
    grep -v '/include$\|/include-fixed$') /usr/x86_64-w64-mingw32/include; do
    mingw_args="$mingw_args --extra-arg=-isystem$dir"
done

# clang finds the aarch64 cross compiler's C++ library by itself. Its arm_neon.h declares the
# SHA intrinsics only where the whole file is compiled for processors that have them, where
# GCC's declares them for the functions that ask for them; so the files are read for such a
# processor.
arm64_args="--extra-arg=--target=aarch64-linux-gnu --extra-arg=-march=armv8.2-a+sha3"

echo "--- clang-tidy"
unique_commands "$build" "$build/unique"
unique_commands "$windows_build" "$build/unique-windows"
compiled "$build/unique" >"$logs/linux"
compiled "$build/unique-windows" | grep '/windows/' >"$logs/windows"
unique_commands "$arm64_build" "$build/unique-arm64"
compiled "$build/unique-arm64" | grep '/arm64/\|_arm64\.cpp$' >"$logs/arm64"
tidy_status=0
xargs -P "$jobs" -n 1 clang-tidy -p "$build/unique" --quiet <"$logs/linux" >"$logs/tidy" 2>&1 ||
    tidy_status=1
xargs -P "$jobs" -n 1 clang-tidy -p "$build/unique-windows" --quiet $mingw_args <"$logs/windows" \
    >>"$logs/tidy" 2>&1 || tidy_status=1
xargs -P "$jobs" -n 1 clang-tidy -p "$build/unique-arm64" --quiet $arm64_args <"$logs/arm64" \
    >>"$logs/tidy" 2>&1 || tidy_status=1
find examples -name '*.cpp' | sort >"$logs/examples"
example_includes="-Icomputer_id/include -Isha/include"
xargs -I '{}' clang-tidy --quiet '{}' -- -std=c++20 $example_includes <"$logs/examples" \
    >>"$logs/tidy" 2>&1 || tidy_status=1
if [ "$tidy_status" -ne 0 ]; then
    grep -v '^[0-9]* warnings\{0,1\}\( and [0-9]* errors\{0,1\}\)\{0,1\} generated\.$' "$logs/tidy"
    failed="$failed clang-tidy"
fi

echo "--- cppcheck"
# missingIncludeSystem: cppcheck is not shown the system headers; clang-tidy reads them.
# useStlAlgorithm: a plain loop that reads as well as an algorithm is no defect.
# unusedStructMember: cppcheck misses reads through std::optional, iterators and
#   GoogleTest's GetParam().
# unusedScopedObject in the tests: EXPECT_THROW(BStr(...)) makes an object only to see
#   it throw.
cppcheck_args="--enable=warning,style,performance,portability --std=c++20 --inline-suppr
    --error-exitcode=1 --quiet --library=googletest --suppress=missingIncludeSystem
    --suppress=useStlAlgorithm --suppress=unusedStructMember
    --suppress=unusedScopedObject:tests/*"
if ! cppcheck $cppcheck_args -j "$jobs" --project="$build/unique/compile_commands.json" \
    >"$logs/cppcheck" 2>&1; then
    cat "$logs/cppcheck"
    failed="$failed cppcheck"
fi
if ! cppcheck $cppcheck_args --platform=win64 --library=windows --file-filter='*/windows/*' \
    --project="$build/unique-windows/compile_commands.json" >"$logs/cppcheck" 2>&1; then
    cat "$logs/cppcheck"
    failed="$failed cppcheck(windows)"
fi
if ! cppcheck $cppcheck_args -D__aarch64__ -D__linux__ --file-filter='*/arm64/*' \
    --file-filter='*_arm64.cpp' --project="$build/unique-arm64/compile_commands.json" \
    >"$logs/cppcheck" 2>&1; then
    cat "$logs/cppcheck"
    failed="$failed cppcheck(arm64)"
fi
if ! cppcheck $cppcheck_args $example_includes $(cat "$logs/examples") >"$logs/cppcheck" 2>&1; then
    cat "$logs/cppcheck"
    failed="$failed cppcheck(examples)"
fi

if [ -n "$failed" ]; then
    echo "FAIL:$failed"
    exit 1
fi
echo "ok: clang-format, clang-tidy and cppcheck found nothing"
