#!/usr/bin/env bash
# Builds Qt for Windows (x86_64, MinGW-w64 with posix threads) from Debian's
# own qt6-base source, once, into a cache outside the source tree. The cache
# is keyed by the recipe below (the source's version and the options): a
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
hostver=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
recipe=$(printf '%s\n' "$hostver" "$compiler" "${options[@]}" | sha256sum | cut -c1-16)
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

# Debian's source of the same qt6-base as the host tools, through an apt
# configuration of its own: the system's package lists stay as they are.
aptdir=$work/apt
mkdir -p "$aptdir/sources.list.d" "$aptdir/lists/partial"
{
    echo "Types: deb-src"
    sed -n 's/^URIs:[[:space:]]*//p;' /etc/apt/sources.list.d/debian.sources | head -1 | sed 's/^/URIs: /'
    echo "Suites: bookworm bookworm-updates"
    echo "Components: main"
    echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
} >"$aptdir/sources.list.d/src.sources"
aptopts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$aptdir/sources.list.d"
    -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
apt-get "${aptopts[@]}" update >"$work/apt-update.log" 2>&1
(cd "$work" && apt-get "${aptopts[@]}" source --download-only "qt6-base=$hostver" >"$work/apt-source.log" 2>&1)
tarball=$(ls "$work"/qt6-base_*.orig.tar.* | head -1)
mkdir -p "$work/src"
tar -xf "$tarball" -C "$work/src" --strip-components=1
# With OpenGL off, 6.4.2's windows platform still asks the dynamic-OpenGL
# switch (on by default) in one function that needs OpenGL's classes, and
# does not compile: that function asks for OpenGL too. Everything else is
# guarded as it should be.
sed -i '/^static inline bool isSoftwareGl()/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$work/src/src/plugins/platforms/windows/qwindowswindow.cpp"

cat >"$work/toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

start=$(date +%s)
cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
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
