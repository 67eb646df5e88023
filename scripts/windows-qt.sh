#!/usr/bin/env bash
# Builds Qt for Windows (x86_64, MinGW-w64 with posix threads) from Debian's
# own qt6-base source (with Debian's security fixes and one fix of ours,
# packaging/windows/qt/), with the project's toolchain file, once, into a
# cache outside the source tree. The cache is keyed by the recipe below (the
# source's version, the options, the fix, the toolchain's settings): a
# change to it builds Qt anew, anything else reuses it; a build that was
# interrupted goes on where it stopped. Prints the install prefix last.
#   bash scripts/windows-qt.sh            build when missing
#   KESTREL_WIN_CACHE=/some/dir bash scripts/windows-qt.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${KESTREL_WIN_CACHE:-/var/cache/kestrel-windows}
jobs=${KESTREL_JOBS:-2}

# Direct2D stays on: the print engine needs the DirectWrite font engine,
# which this Qt compiles only with it. Debian's tarball has no wintab, so
# no tablet events. FreeType gives the offscreen platform its fonts.
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF
    -DFEATURE_network=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF
    -DFEATURE_testlib=ON
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_direct2d=ON -DFEATURE_direct2d1_1=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_freetype=ON
)
# shellcheck source=debian-source.sh
source "$root/scripts/debian-source.sh"
toolchain=$root/cmake/mingw-w64.cmake
fix=$root/packaging/windows/qt/qwindowswindow-without-opengl.patch
multiarch=$(kestrel_multiarch)
hostver=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
# The recipe: the source's version, the compiler, the options, the fix to
# the source and the toolchain file's settings (its comments aside).
recipe=$( (printf '%s\n' "$hostver" "$compiler" "${options[@]}" "debian-security-patches"
    cat "$fix"
    grep -v '^[[:space:]]*#' "$toolchain") | sha256sum | cut -c1-16)
prefix=$cache/qt-$recipe

if [ -f "$prefix/.complete" ]; then
    echo "windows-qt: Qt for Windows is in $prefix"
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
work=$cache/work-$recipe
if [ ! -f "$work/build/build.ninja" ]; then
rm -rf "$work"
mkdir -p "$work"

# Debian's source of the same qt6-base as the host tools, checked against
# its signed .dsc.
kestrel_source_apt "$work/apt"
(cd "$work" && apt-get "${kestrel_aptopts[@]}" source --download-only "qt6-base=$hostver" \
    >"$work/apt-source.log" 2>&1) || {
    tail -20 "$work/apt-source.log" >&2
    echo "windows-qt: no source of qt6-base $hostver in Debian's source lists" >&2
    exit 1
}
dsc=$(ls "$work"/qt6-base_*.dsc | head -1)
tarball=$(ls "$work"/qt6-base_*.orig.tar.* | head -1)
debian=$(ls "$work"/qt6-base_*.debian.tar.* | head -1)
kestrel_check_dsc "$dsc" "$tarball" "$debian" || exit 1
mkdir -p "$work/src"
tar -xf "$tarball" -C "$work/src" --strip-components=1
tar -xf "$debian" -C "$work/src"
# Debian's security fixes (its patches named after their CVE), then this
# build's own fix. Each must apply as it stands: a source that has moved on
# stops the build here, with the patch's name.
apply() { # patch file, what it is
    if ! patch -d "$work/src" -p1 --forward --batch --fuzz=0 --dry-run <"$1" >"$work/patch.log" 2>&1; then
        cat "$work/patch.log" >&2
        echo "windows-qt: $2 $1 no longer applies to qt6-base $hostver; mend it" >&2
        exit 1
    fi
    patch -d "$work/src" -p1 --forward --batch --fuzz=0 --quiet <"$1"
}
while read -r name _; do
    apply "$work/src/debian/patches/$name" "Debian's security fix"
done < <(grep '^cve-' "$work/src/debian/patches/series")
apply "$fix" "the fix"

start=$(date +%s)
cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKESTREL_MINGW_LIBRARY=ON \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" \
    "${options[@]}" >"$work/configure.log" 2>&1 || {
    tail -40 "$work/configure.log" >&2
    exit 1
}
echo "windows-qt: configured in $(($(date +%s) - start)) s" >"$work/times"
fi

configured=$(date +%s)
echo "windows-qt: building Qt for Windows in $work/build (about 17 minutes on two free cores)"
cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1 || {
    tail -40 "$work/build.log" >&2
    exit 1
}
cmake --install "$work/build" >"$work/install.log" 2>&1
built=$(date +%s)
echo "windows-qt: built in $((built - configured)) s" >>"$work/times"
cat "$work/times" | tee "$prefix/.times"
touch "$prefix/.complete"
rm -rf "$work"
# Older recipes' builds are of no further use.
find "$cache" -maxdepth 1 \( -name "qt-*" ! -name "qt-$recipe" -o -name "work-*" \) -exec rm -rf {} +
echo "$prefix"
