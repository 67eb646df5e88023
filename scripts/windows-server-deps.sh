#!/usr/bin/env bash
# Builds the classroom server's libraries for Windows (x86_64, MinGW-w64 with
# posix threads) from Debian's own sources of the versions the Linux build
# uses, once, into a cache outside the source tree:
#   cpp-httplib   its whole single header (Debian's -dev package splits it
#                 and keeps the implementation in a shared library)
#   libqrencode   a static library
#   zlib          a static library
#   nlohmann-json the system's header, copied
# The cache is keyed by the recipe (the versions and the compiler); an
# interrupted build goes on where it stopped. Prints the prefix last.
#   bash scripts/windows-server-deps.sh
#   KESTREL_WIN_CACHE=/some/dir bash scripts/windows-server-deps.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${KESTREL_WIN_CACHE:-/var/cache/kestrel-windows}
# shellcheck source=debian-source.sh
source "$root/scripts/debian-source.sh"
toolchain=$root/cmake/mingw-w64.cmake
jobs=${KESTREL_JOBS:-2}
cc=x86_64-w64-mingw32-gcc-posix

# The source package's version of each library the Linux build uses.
version() { dpkg-query -W -f='${source:Version}' "$1"; }
httplib=$(version libcpp-httplib-dev)
qrencode=$(version libqrencode-dev)
zlib=$(version zlib1g-dev)
json=$(version nlohmann-json3-dev)
compiler=$($cc -dumpfullversion)
recipe=$( (printf '%s\n' "$httplib" "$qrencode" "$zlib" "$json" "$compiler" "static-1"
    grep -v '^[[:space:]]*#' "$toolchain") | sha256sum | cut -c1-16)
prefix=$cache/server-deps-$recipe

if [ -f "$prefix/.complete" ]; then
    echo "windows-server-deps: the server's libraries for Windows are in $prefix"
    echo "$prefix"
    exit 0
fi

work=$cache/server-work-$recipe
mkdir -p "$work" "$prefix/include" "$prefix/lib"

# Debian's sources of the same versions (scripts/debian-source.sh).
if [ ! -f "$work/.sources" ]; then
    kestrel_source_apt "$work/apt"
    # Each package's upstream tarball and Debian's changes to it (the
    # security fixes of a stable release among them), both checked against
    # the signed .dsc. A Debian part the mirror lacks is left out only where
    # the package has no changes that matter here (qrencode's has been seen
    # missing; its Debian part changes only the packaging).
    # A version whose source the mirrors do not serve (a security update of
    # the last days, before the mirror has its source) gives way to the
    # release's own version of the package, and says so.
    release=$(kestrel_codename)
    for pkg in "cpp-httplib=$httplib" "qrencode=$qrencode" "zlib=$zlib"; do
        name=${pkg%%=*}
        for wanted in "$pkg" "$name/$release"; do
            rm -f "$work"/"${name}"_*
            (cd "$work" && apt-get "${kestrel_aptopts[@]}" source --download-only "$wanted") \
                >>"$work/apt-source.log" 2>&1 || true
            dsc=$(ls "$work"/${name}_*.dsc 2>/dev/null | head -1 || true)
            tarball=$(ls "$work"/${name}_*.orig.tar.* 2>/dev/null | head -1 || true)
            debian=$(ls "$work"/${name}_*.debian.tar.* 2>/dev/null | head -1 || true)
            if [ -n "$dsc" ] && [ -n "$tarball" ] && { [ -n "$debian" ] || [ "$name" = qrencode ]; }; then
                [ "$wanted" = "$pkg" ] ||
                    echo "windows-server-deps: the source of $pkg cannot be fetched; $(basename "$dsc" .dsc), the release's own, is built instead" >&2
                break
            fi
            dsc=""
        done
        if [ -z "$dsc" ]; then
            tail -20 "$work/apt-source.log" >&2
            echo "windows-server-deps: no whole source of $pkg" >&2
            exit 1
        fi
        # shellcheck disable=SC2086
        kestrel_check_dsc "$dsc" "$tarball" $debian || exit 1
        rm -rf "${work:?}/$name"
        mkdir -p "$work/$name"
        tar -xf "$tarball" -C "$work/$name" --strip-components=1
        if [ -n "$debian" ]; then
            tar -xf "$debian" -C "$work/$name"
            if [ -f "$work/$name/debian/patches/series" ]; then
                grep -v '^[[:space:]]*\(#\|$\)' "$work/$name/debian/patches/series" |
                    while read -r patchfile _; do
                        patch -d "$work/$name" -p1 --batch --quiet \
                            <"$work/$name/debian/patches/$patchfile"
                    done
            fi
        fi
    done
    touch "$work/.sources"
fi

# cpp-httplib: the single header as its authors ship it.
install -m 644 "$work/cpp-httplib/httplib.h" "$prefix/include/httplib.h"
# nlohmann-json: header-only, the system's copy.
rm -rf "$prefix/include/nlohmann"
cp -r /usr/include/nlohmann "$prefix/include/nlohmann"

# zlib: the library's C files, without its build system (no shared library,
# no examples).
if [ ! -f "$prefix/lib/libz.a" ]; then
    z=$work/zlib
    rm -rf "$work/zlib-build"
    mkdir -p "$work/zlib-build"
    for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
        inftrees trees uncompr zutil; do
        $cc -O2 -c "$z/$c.c" -o "$work/zlib-build/$c.o"
    done
    x86_64-w64-mingw32-ar rcs "$work/zlib-build/libz.a" "$work"/zlib-build/*.o
    install -m 644 "$z/zlib.h" "$z/zconf.h" "$prefix/include/"
    install -m 644 "$work/zlib-build/libz.a" "$prefix/lib/libz.a"
fi

# libqrencode: its own CMake build, static, without the command-line tool
# (which needs libpng).
if [ ! -f "$prefix/lib/libqrencode.a" ]; then
    rm -rf "$work/qrencode-build"
    cmake -G Ninja -S "$work/qrencode" -B "$work/qrencode-build" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKESTREL_MINGW_LIBRARY=ON -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DWITH_TOOLS=NO -DWITH_TESTS=NO -DWITHOUT_PNG=ON >"$work/qrencode-configure.log" 2>&1 || {
        tail -30 "$work/qrencode-configure.log" >&2
        exit 1
    }
    cmake --build "$work/qrencode-build" -j"$jobs" >"$work/qrencode-build.log" 2>&1 || {
        tail -30 "$work/qrencode-build.log" >&2
        exit 1
    }
    install -m 644 "$work/qrencode/qrencode.h" "$prefix/include/qrencode.h"
    install -m 644 "$(find "$work/qrencode-build" -name 'libqrencode*.a' | head -1)" \
        "$prefix/lib/libqrencode.a"
fi

# The sources' licences travel with the libraries.
mkdir -p "$prefix/share/licenses"
for name in cpp-httplib qrencode zlib; do
    for f in LICENSE COPYING; do
        [ -f "$work/$name/$f" ] && install -m 644 "$work/$name/$f" "$prefix/share/licenses/$name-$f"
    done
done
printf 'cpp-httplib %s\nlibqrencode %s\nzlib %s\nnlohmann-json %s\n%s %s\n' \
    "$httplib" "$qrencode" "$zlib" "$json" "$cc" "$compiler" >"$prefix/VERSIONS"
touch "$prefix/.complete"
rm -rf "$work"
# Older recipes' builds are of no further use.
find "$cache" -maxdepth 1 \( -name "server-deps-*" ! -name "server-deps-$recipe" \
    -o -name "server-work-*" ! -name "server-work-$recipe" \) -exec rm -rf {} +
echo "windows-server-deps: the server's libraries for Windows are in $prefix"
echo "$prefix"
