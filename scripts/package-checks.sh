# The checks of the Linux packages that every architecture's packages get, sourced by
# test-package.sh (amd64) and test-arm64.sh (arm64). The caller sets root (the project's
# folder, the current one) and scratch (an empty folder of its own).

fail() { echo "FAIL: $1"; exit 1; }
# The files and links (not folders) a .deb holds, sorted; a link as "name -> target".
deb_files() { dpkg -c "$1" | awk '$1 ~ /^-/ {print $6} $1 ~ /^l/ {print $6, $7, $8}' | LC_ALL=C sort; }
# The README and the documents it links to, below the documents folder $1.
readme_docs() {
    for file in README.md docs/benchmarks.md docs/computer-id.md docs/linux-transcript.txt \
        docs/windows-wine-transcript.txt; do echo "$1$file"; done
}
# Every relative link in the Markdown documents below folder $1 must lead to a file there.
check_links() {
    for page in $(cd "$1" && find . -name '*.md'); do
        for target in $(grep -o '](\([^)#]*\)' "$1/$page" | cut -c3- | grep -v '^$\|://'); do
            [ -f "$1/$(dirname "$page")/$target" ] || fail "$page in $2 links to missing $target"
        done
    done
}
# The public headers, as installed below the include folder: those of each include/ folder.
public_headers() {
    for library in sha computer_id; do
        (cd "$library/include" && find . -type f | sed "s|^\./|$1|")
    done | LC_ALL=C sort
}
# The copyright file and changelog Debian wants in the documents folder of each package.
debian_docs() { printf '%s\n' "./usr/share/doc/$1/changelog.gz" "./usr/share/doc/$1/copyright"; }
check_deb() {
    [ "$(deb_files "$1")" = "$(LC_ALL=C sort)" ] ||
        fail "$(basename "$1") holds: $(deb_files "$1" | tr '\n' ' ')"
}

# Builds preset $1 and makes its four .debs in build/$1; checks that each holds exactly its
# files, for the multiarch folder $2, and that lintian finds no error or warning in any.
# Sets build, program_deb, library_deb, dev_deb, python_deb and libdir.
make_and_check_debs() {
    build=build/$1
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$(nproc)"
    rm -f "$build"/*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    program_deb=$(ls "$build"/computer-id_*.deb)
    library_deb=$(ls "$build"/libcomputer-id0_*.deb)
    dev_deb=$(ls "$build"/computer-id-dev_*.deb)
    python_deb=$(ls "$build"/python3-computer-id_*_all.deb)
    libdir=./usr/lib/$2

    (echo ./usr/bin/computer_id ./usr/share/doc/computer-id/examples/computer-id-serials.conf \
        ./usr/share/man/man1/computer_id.1.gz | tr ' ' '\n'
        readme_docs ./usr/share/doc/computer-id/
        debian_docs computer-id) | check_deb "$program_deb"
    version=$(dpkg-deb -f "$library_deb" Version)
    (echo "$libdir/libcomputer_id.so.0 -> libcomputer_id.so.$version"
        echo "$libdir/libcomputer_id.so.$version"
        debian_docs libcomputer-id0) | check_deb "$library_deb"
    (public_headers ./usr/include/
        printf '%s\n' "$libdir/libcomputer_id.a" "$libdir/libcomputer_id_platform.a" \
            "$libdir/libcomputer_id_sha.a" "$libdir/libcomputer_id.so -> libcomputer_id.so.0" \
            "$libdir/pkgconfig/computer-id.pc" ./usr/share/computer-id/csharp/ComputerId.cs
        for file in Config ConfigVersion Targets Targets-release; do
            echo "$libdir/cmake/ComputerID/ComputerID$file.cmake"
        done
        debian_docs computer-id-dev) | check_deb "$dev_deb"
    (printf '%s\n' ./usr/lib/python3/dist-packages/computer_id/__init__.py \
            ./usr/lib/python3/dist-packages/computer_id/py.typed
        debian_docs python3-computer-id) | check_deb "$python_deb"
    echo "ok: $(basename "$program_deb") holds the program, its manual page, the README with its documents and the serials recipe (not enabled), $(basename "$library_deb") the shared library, $(basename "$dev_deb") the static libraries, the link to the shared one in the multiarch folder, exactly the public headers, the pkg-config file, the CMake package and the C# binding, $(basename "$python_deb") the Python package; each its copyright file and changelog"

    if ! lintian --fail-on error,warning --tag-display-limit 0 "$build"/*.deb \
        >"$scratch/lintian" 2>&1; then
        cat "$scratch/lintian"
        fail "lintian finds errors or warnings"
    fi
    grep -v '^running with root privileges' "$scratch/lintian" || :
    echo "ok: lintian finds no error or warning in $(cd "$build" && echo *.deb)"
}

# Builds preset $1, the stand-alone program, and its .tar.gz into folder $2; checks its files
# and links and that the program needs no shared library. Sets tarball and static_program, the
# program unpacked.
make_and_check_static() {
    preset=$1
    destination=$2
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
    rm -f "$destination"/computer-id-*-static.tar.gz
    (cd "build/$preset" && cpack -B "$root/$destination" >/dev/null)
    tarball=$(ls "$destination"/computer-id-*-static.tar.gz)
    folder=$(basename "$tarball" .tar.gz)
    [ "$(tar -tzf "$tarball" | grep -v '/$' | LC_ALL=C sort)" = "$( (echo "$folder/bin/computer_id"
        readme_docs "$folder/share/doc/computer-id/"
        printf '%s\n' "$folder/share/doc/computer-id/LICENSE" \
            "$folder/share/doc/computer-id/examples/computer-id-serials.conf") | LC_ALL=C sort)" ] ||
        fail "$(basename "$tarball") holds: $(tar -tzf "$tarball" | tr '\n' ' ')"
    tar -xzf "$tarball" -C "$scratch"
    check_links "$scratch/$folder/share/doc/computer-id" "$(basename "$tarball")"
    static_program="$scratch/$folder/bin/computer_id"
    if readelf -l "$static_program" | grep -q 'program interpreter'; then
        fail "the stand-alone program needs the dynamic loader"
    fi
}
