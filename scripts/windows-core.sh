#!/usr/bin/env bash
# Cross-builds the core, the Windows platform layer and the core's tests
# with MinGW-w64 in build/windows-core, and runs the tests under Wine
# through CTest. No Qt: the screens and tools are left out.
#   bash scripts/windows-core.sh            configure, build, test
#   bash scripts/windows-core.sh build      configure and build only
#   bash scripts/windows-core.sh test [CTEST_ARGUMENT...]
#   bash scripts/windows-core.sh mixed      a classroom of Linux PCs and one of
#                                           Windows PCs on one data folder
#                                           (KESTREL_WINDOWS_BUILD: the Windows
#                                           build's folder, this one's by
#                                           default; scripts/windows.sh runs
#                                           it on the whole build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/windows-core
jobs=${KESTREL_JOBS:-2}
step=${1:-all}
[ $# -gt 0 ] && shift

# Wine: its own prefix beside the build, found where Debian's packages put
# it, UTF-8 file names on the Linux side (a locale this machine has:
# without one Wine cannot name a file in Japanese; the program converts
# CP932 by its number, whatever the system's code page) and a null sound
# device, so that a sound plays and waits without a sound card
# (packaging/windows/wine-env.sh).
# shellcheck source=../packaging/windows/wine-env.sh
source "$root/packaging/windows/wine-env.sh"
mkdir -p "$build"
kestrel_wine_find
kestrel_wine_env "${WINEPREFIX:-$build/wineprefix}" "$build"

configure_and_build() {
    cmake -G Ninja -S "$root" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DKESTREL_WINE="$KESTREL_WINE" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKESTREL_CORE_ONLY=ON -DKESTREL_WERROR=ON \
        -DKESTREL_GTEST_SOURCE=/usr/src/googletest
    cmake --build "$build" -j"$jobs"
}

run_tests() {
    # The first Wine process starts Wine's services, which would keep
    # CTest's output pipe open: they start here, detached, before CTest.
    kestrel_wine_boot || return 1
    local start end
    start=$(date +%s.%N)
    local status=0
    ctest --test-dir "$build" -j"$jobs" --output-on-failure "$@" || status=$?
    end=$(date +%s.%N)
    echo "windows-core: tests ran in $(printf '%.1f' "$(echo "$end - $start" | bc)") s"
    return $status
}

# Linux PCs (the native simulator, built in KESTREL_LINUX_BUILD, build/ci by
# default) with a teacher, and Windows PCs (the cross-built one, under Wine)
# on one data folder at once: the locks of the two systems exclude each
# other (Wine holds a POSIX lock for each LockFileEx), so each side finds
# all of its records once and whole, and the other's as foreign.
run_mixed() {
    local linux=${KESTREL_LINUX_BUILD:-$root/build/ci}
    local windows=${KESTREL_WINDOWS_BUILD:-$build}
    if [ ! -f "$linux/build.ninja" ]; then
        echo "windows-core: no Linux build in $linux for the mixed classroom" >&2
        return 1
    fi
    for f in tests/kestrel-classroom.exe doctor/kestrel-doctor.exe; do
        if [ ! -f "$windows/$f" ]; then
            echo "windows-core: no $f in the Windows build $windows for the mixed classroom" >&2
            return 1
        fi
    done
    cmake --build "$linux" --target kestrel-classroom >/dev/null
    kestrel_wine_boot || return 1
    local d status=0 start
    d=$(mktemp -d)
    start=$(date +%s.%N)
    "$linux/tests/kestrel-classroom" --folder "$d/data" --pcs 4 --runs 6 --pace 0.3 \
        --teacher --seed 1 >"$d/linux.json" &
    local linuxPid=$!
    "$WINELOADER" "$windows/tests/kestrel-classroom.exe" --folder "$d/data" --pcs 4 --runs 6 \
        --pace 0.3 --seed 2 >"$d/windows.json" </dev/null &
    local windowsPid=$!
    wait $linuxPid || status=1
    wait $windowsPid || status=1
    echo "windows-core: mixed classroom in $(printf '%.1f' "$(echo "$(date +%s.%N) - $start" | bc)") s"
    echo "linux:   $(cat "$d/linux.json")"
    echo "windows: $(cat "$d/windows.json")"
    for side in linux windows; do
        grep -q '"lost": 0, "doubled": 0, "torn": 0, "foreign": [1-9]' "$d/$side.json" || status=1
    done
    [ $status -eq 0 ] && echo "windows-core: mixed classroom: nothing lost, doubled or torn"

    # The setup check's lock test between a Linux PC and a Windows PC on
    # the demo school's data folder.
    cmake --build "$linux" --target make_demo kestrel-doctor >/dev/null
    "$linux/tools/make_demo" "$root/demo/install" "$d/school" >/dev/null
    mkdir -p "$d/school/Kestrel"
    "$linux/doctor/kestrel-doctor" --folder "$d/school/Kestrel" --locks >"$d/linux-locks.txt" 2>&1 &
    linuxPid=$!
    sleep 0.3
    "$WINELOADER" "$windows/doctor/kestrel-doctor.exe" --folder "$d/school/Kestrel" --locks \
        >"$d/windows-locks.txt" 2>&1 </dev/null &
    windowsPid=$!
    local locks=0
    wait $linuxPid || locks=1
    wait $windowsPid || locks=1
    for side in linux windows; do
        echo "$side: $(grep 'ロックの試験' "$d/$side-locks.txt")"
        grep -q 'OK      ロックの試験' "$d/$side-locks.txt" || locks=1
    done
    if [ $locks -eq 0 ]; then
        echo "windows-core: the lock test between Linux and Windows is OK on both sides"
    else
        cat "$d/linux-locks.txt" "$d/windows-locks.txt"
        status=1
    fi
    rm -rf "$d"
    return $status
}

case $step in
all)
    configure_and_build
    run_tests "$@"
    ;;
build) configure_and_build ;;
test) run_tests "$@" ;;
mixed) run_mixed ;;
*)
    echo "usage: $0 [all|build|test|mixed] [CTEST_ARGUMENT...]" >&2
    exit 2
    ;;
esac
