#!/usr/bin/env bash
# Builds Kestrel for 64-bit Windows on this Debian machine and tests it under
# Wine: Qt for Windows once (scripts/windows-qt.sh, cached outside the tree),
# then the program, its tools, the program menu, the classroom simulator and
# every test with MinGW-w64 in build/windows/build; runs the whole suite
# under Wine (screens on the offscreen platform) and a classroom of Linux and
# Windows PCs on one data folder (windows-core.sh mixed), lays out the installation
# in build/windows/stage and writes build/windows/Kestrel-Setup-<version>.exe
# and build/windows/Kestrel-<version>.zip; finally installs, runs and
# uninstalls the installer under Wine (packaging/windows/check-installer.sh).
#   bash scripts/windows.sh              all of it
#   bash scripts/windows.sh build|test|mixed|package|check [CTEST_ARGUMENT...]
#   bash scripts/windows.sh ci           all of it, or say why it cannot run
#                                        here and succeed (the CI's pass)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=debian-source.sh
source "$root/scripts/debian-source.sh"
out=$root/build/windows
build=$out/build
stage=$out/stage
jobs=${KESTREL_JOBS:-2}
step=${1:-all}
[ $# -gt 0 ] && shift

say() { echo "windows: $*"; }
seconds() { date +%s; }

# Why the Windows pass cannot run on this machine ("" when it can).
cannot_run() {
    if ! bash "$root/scripts/install-deps.sh" windows >"$out/install-deps.log" 2>&1; then
        echo "the packages it needs (MinGW-w64, Wine, NSIS) cannot be installed: $(tail -1 "$out/install-deps.log")"
        return
    fi
    if ! kestrel_wine_find 2>"$out/wine-find.log"; then
        echo "Wine's tools are missing: $(tail -1 "$out/wine-find.log")"
        return
    fi
    local probe=$out/probe-prefix
    rm -rf "$probe"
    if ! WINEPREFIX=$probe WINEDEBUG=-all timeout 300 "$KESTREL_WINE" cmd /c exit \
        </dev/null >"$out/wine-probe.log" 2>&1; then
        echo "Wine cannot start a Windows program here: $(tail -1 "$out/wine-probe.log")"
        WINEPREFIX=$probe kestrel_wineserver -k >&2 || true
        return
    fi
    WINEPREFIX=$probe kestrel_wineserver -k >&2 || true
    rm -rf "$probe"
}

# Wine's tools, wherever Debian's packages put them.
# shellcheck source=../packaging/windows/wine-env.sh
source "$root/packaging/windows/wine-env.sh"

mkdir -p "$out"
if [ "$step" = ci ]; then
    reason=$(cannot_run)
    if [ -n "$reason" ]; then
        say "the Windows pass did not run: $reason."
        exit 0
    fi
    step=all
else
    bash "$root/scripts/install-deps.sh" windows
fi

# Wine's settings: a prefix of its own, screens on the offscreen platform.
kestrel_wine_find
kestrel_wine_env "${WINEPREFIX:-$out/wineprefix}" "$out"
export WINEQT_QPA_PLATFORM=offscreen
winpath() { kestrel_winpath "$1"; }

mingw_runtime=(/usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)

qt_prefix() { bash "$root/scripts/windows-qt.sh" | tail -1; }

wine_ready() {
    kestrel_wine_boot || return 1
    # The Qt and MinGW DLLs of the build.
    local qt paths
    qt=$(qt_prefix)
    paths=$(winpath "$qt/bin")
    for d in "${mingw_runtime[@]}"; do paths="$paths;$(winpath "$d")"; done
    export WINEPATH=$paths
}

configure_and_build() {
    local qt start deps
    qt=$(qt_prefix)
    # The classroom server's HTTP, QR and zlib libraries, built for Windows
    # from Debian's sources once (seconds).
    deps=$(bash "$root/scripts/windows-server-deps.sh" | tail -1)
    start=$(seconds)
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    # Release at -O2 without debug information: the lean build the suite
    # and the installer need.
    cmake -G Ninja -S "$root" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DKESTREL_WINDOWS_QT="$qt" -DKESTREL_WINE="$KESTREL_WINE" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(kestrel_multiarch)/cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKESTREL_CORE_ONLY=OFF -DKESTREL_WERROR=ON -DKESTREL_GTEST_SOURCE=/usr/src/googletest \
        -DKESTREL_WIN_SERVER_DEPS="$deps" \
        "${launcher[@]}" >"$out/configure.log" || {
        tail -30 "$out/configure.log" >&2
        exit 1
    }
    cmake --build "$build" -j"$jobs"
    say "the program, its tools and the tests built in $(($(seconds) - start)) s"
}

run_tests() {
    wine_ready || return 1
    local start status=0
    start=$(seconds)
    ctest --test-dir "$build" -j"$jobs" --output-on-failure "$@" | tee "$out/ctest.log" || status=$?
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    say "the suite ran under Wine in $(($(seconds) - start)) s"
    return $status
}

# The DLLs a folder's programs and plug-ins load, copied beside them from
# Qt and the MinGW runtime, until nothing is missing.
deploy_dlls() {
    local dir=$1 qt=$2 changed=1
    while [ $changed -eq 1 ]; do
        changed=0
        while IFS= read -r dll; do
            [ -e "$dir/$dll" ] && continue
            for src in "$qt/bin" "${mingw_runtime[@]}"; do
                if [ -e "$src/$dll" ]; then
                    cp "$src/$dll" "$dir/"
                    changed=1
                    break
                fi
            done
        done < <(find "$dir" -name '*.exe' -o -name '*.dll' | while IFS= read -r f; do
            x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p'
        done | sort -u)
    done
}

# A program folder: the given programs, the Qt plug-ins a window program
# needs (the windows platform, the offscreen platform for a PC without a
# screen, the native style) and every DLL they load, stripped.
lay_out_folder() {
    local dir=$1 qt=$2
    shift 2
    mkdir -p "$dir/platforms" "$dir/styles"
    cp "$@" "$dir/"
    cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$dir/platforms/"
    cp "$qt/plugins/styles/"*.dll "$dir/styles/"
    deploy_dlls "$dir" "$qt"
    find "$dir" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
}

# A tool of this project built for this machine: the Linux suite's, or
# built here (the demo tool for the sample school; kestrel-csv, which the
# installer's check compares with kestrel-csv.exe).
linux_tool() { # target, its path below the build folder
    local b
    for b in ci release dev; do
        if [ -x "$root/build/$b/$2" ]; then
            echo "$root/build/$b/$2"
            return
        fi
    done
    (cd "$root" && bash scripts/configure.sh ci >/dev/null && cmake --build build/ci --target "$1" -j"$jobs" >/dev/null)
    echo "$root/build/ci/$2"
}
linux_make_demo() { linux_tool make_demo tools/make_demo; }

# A classroom of Linux PCs and one of Windows PCs on one data folder, and
# the setup check's lock test between the two (scripts/windows-core.sh).
run_mixed() {
    wine_ready || return 1
    local linux
    linux=$(dirname "$(dirname "$(linux_tool kestrel-classroom tests/kestrel-classroom)")")
    KESTREL_LINUX_BUILD=$linux KESTREL_WINDOWS_BUILD=$build bash "$root/scripts/windows-core.sh" mixed
}

package() {
    local qt version start
    qt=$(qt_prefix)
    version=$(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
    start=$(seconds)
    rm -rf "$stage" "$out/sample" "$out/zip" "$out/older"
    mkdir -p "$out/older"
    lay_out_folder "$stage/Kestrel" "$qt" \
        "$build/src/kestrel.exe" "$build/doctor/kestrel-doctor.exe" \
        "$build/exporter/kestrel-csv.exe" "$build/rostertool/kestrel-roster.exe"
    lay_out_folder "$stage/起動" "$qt" "$build/programmenu/プログラムメニューc.exe"

    # The sample school: the demo's shared folder without a results log,
    # made by the demo tool of this machine, as the .deb's is.
    "$(linux_make_demo)" "$root/demo/install" "$out/sample" >"$out/make_demo.log"
    rm -f "$out/sample/共有データ/Kestrel/成績累積データ.dat"

    # The uninstaller's list: every file installed, then every folder,
    # deepest first, removed only when empty.
    local list=$out/uninstall-files.nsh
    {
        (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
        (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
    } >"$list"
    # The classroom server, an optional part of the installer.
    rm -rf "$out/server-stage"
    if [ -x "$build/server/kestrel-server.exe" ]; then
        mkdir -p "$out/server-stage"
        x86_64-w64-mingw32-strip -o "$out/server-stage/kestrel-server.exe" "$build/server/kestrel-server.exe"
        cp -r "$root/server/www" "$out/server-stage/www"
        rm -f "$out/server-stage/www/.keep"
    fi
    local server=()
    if [ -d "$out/server-stage" ]; then
        server=(-DSERVER_STAGE="$out/server-stage")
        (cd "$out/server-stage" && find . -type f | sort) |
            sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\Kestrel\\&"|' >>"$list"
    fi

    local setup=$out/Kestrel-Setup-$version.exe
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DSAMPLE="$out/sample" \
        -DFILELIST="$list" -DOUTFILE="$setup" "${server[@]}" "$root/packaging/windows/kestrel.nsi"
    # The same build under a lower version number, which the installer's
    # check upgrades (compressed quickly: it is only for the check).
    makensis -V2 -INPUTCHARSET UTF8 "-XSetCompressor /FINAL zlib" -DVERSION="0.0.1" -DSTAGE="$stage" -DSAMPLE="$out/sample" \
        -DFILELIST="$list" -DOUTFILE="$out/older/Kestrel-Setup-0.0.1.exe" "${server[@]}" \
        "$root/packaging/windows/kestrel.nsi"

    # The zip: the same files in the same layout, with the sample school
    # beside them and a path file that names it relative to its folder, so
    # that it runs wherever it is unpacked.
    local top=$out/zip/Kestrel
    mkdir -p "$top"
    cp -r "$stage/." "$top/"
    cp -r "$out/sample/共有データ" "$top/"
    {
        printf '共有データ\\\r\n'
        for _ in $(seq 9); do printf '0\r\n'; done
    } | iconv -f UTF-8 -t CP932 >"$top/パスデータ.txt"
    local zip=$out/Kestrel-$version.zip
    rm -f "$zip"
    (cd "$out/zip" && python3 - "$zip" <<'EOF'
import os, sys, zipfile
# Names in UTF-8 with the zip's UTF-8 flag, which Windows' Explorer reads.
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for base, dirs, files in sorted(os.walk("Kestrel")):
        dirs.sort()
        for f in sorted(files):
            z.write(os.path.join(base, f))
EOF
    )
    say "packaged in $(($(seconds) - start)) s:"
    ls -l "$setup" "$zip" | awk '{printf "windows:   %s  %.1f MB\n", $NF, $5 / 1048576}'
    du -sh "$stage" | awk '{print "windows:   installed: " $1}'
}

check_installer() {
    local version
    version=$(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
    KESTREL_MAKE_DEMO=$(linux_make_demo) KESTREL_LINUX_CSV=$(linux_tool kestrel-csv exporter/kestrel-csv) \
        KESTREL_OLDER_SETUP=$out/older/Kestrel-Setup-0.0.1.exe \
        bash "$root/packaging/windows/check-installer.sh" "$out/Kestrel-Setup-$version.exe" "$@"
}

case $step in
all)
    # A failing test does not keep the installer from being made and
    # checked; the pass fails at the end.
    total=$(seconds)
    configure_and_build
    suite=0
    run_tests "$@" || suite=$?
    mixed=0
    run_mixed || mixed=$?
    package
    installer=0
    check_installer || installer=$?
    say "everything in $(($(seconds) - total)) s"
    [ $suite -eq 0 ] || say "tests failed under Wine (build/windows/ctest.log)"
    [ $mixed -eq 0 ] || say "the mixed classroom of Linux and Windows PCs failed"
    [ $installer -eq 0 ] || say "the installer's check failed (build/windows/check/)"
    [ $suite -eq 0 ] && [ $mixed -eq 0 ] && [ $installer -eq 0 ]
    ;;
build) configure_and_build ;;
test) run_tests "$@" ;;
mixed) run_mixed ;;
package) package ;;
check) check_installer "$@" ;;
*)
    echo "usage: $0 [all|ci|build|test|mixed|package|check] [CTEST_ARGUMENT...]" >&2
    exit 2
    ;;
esac
