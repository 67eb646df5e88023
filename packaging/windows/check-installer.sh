#!/usr/bin/env bash
# Installs, runs and uninstalls the Windows installer under Wine, on a Wine
# prefix of its own (a PC that never had Kestrel), as a school's IT person
# would, and checks what each step leaves:
#   0. an upgrade: the same build with a lower version number
#      (KESTREL_OLDER_SETUP, from scripts/windows.sh), installed with
#      /SHARED=, then the new one with /S alone, as the guide upgrades: the
#      new version's files, the path file and the shared folder as they were;
#   1. /S /SHARED=C:\学校\共有データ\ on a folder holding the demo school:
#      every file in its place, the path file in CP932 with CR LF, the
#      Start-menu entries and the Add/Remove Programs entry, no sample school;
#   2. the program starts on that school and shows its roster (a screenshot
#      in a private X server, build/windows/check/roster.png), and stays up
#      on the offscreen platform; an installation while it runs asks it to
#      close, waits, and leaves everything as it was (exit 3) when it stays;
#   3. kestrel-csv.exe writes the same bytes as the Linux kestrel-csv on the
#      same log (when a Linux build is there);
#   4. /S again keeps the path file; the uninstaller leaves no program file
#      and the shared folder as it was; /S afterwards names that shared
#      folder again, not a sample school;
#   5. on a PC that never had it, an installation without /SHARED= into /D=
#      gets the sample school in ProgramData; the setup check runs there;
#      /SHARED=\\server\share\… repoints it; a wrong /SHARED= (relative, a
#      drive this PC does not have, a network drive whose share is not known)
#      installs nothing and exits with 2.
#   bash packaging/windows/check-installer.sh build/windows/Kestrel-Setup-<version>.exe
set -uo pipefail

setup=$(realpath "$1")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(dirname "$setup")/check
stage=$(dirname "$setup")/stage
build=$(dirname "$setup")/build

rm -rf "$out"
mkdir -p "$out"
# shellcheck source=wine-env.sh
source "$root/packaging/windows/wine-env.sh"
kestrel_wine_find || exit 1
kestrel_wine_env "$out/wineprefix" "$out"
unset WINEPATH WINEQT_QPA_PLATFORM
wine() { "$WINELOADER" "$@" </dev/null; }
winpath() { kestrel_winpath "$1"; }
failures=0
checks=0
ok() { checks=$((checks + 1)); echo "check-installer: ok    $*"; }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); echo "check-installer: FAIL  $*"; }
expect() { # description, command...
    local what=$1
    shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}

# Wine's server, ended, waited for or started; a failure is a failed check.
server() { kestrel_wineserver "$1" || fail "wineserver $1"; }

kestrel_wine_boot || fail "Wine starts a Windows program in its prefix"
drive_c=$WINEPREFIX/drive_c

installed=$drive_c/Program\ Files/Kestrel
menu=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Kestrel
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel'

# The path file a folder gives: CP932, CR LF, nine further items.
path_file_of() {
    { printf '%s\r\n' "$1"; for _ in $(seq 9); do printf '0\r\n'; done; } | iconv -f UTF-8 -t CP932
}
same_bytes() { cmp -s "$1" "$2"; }
tree_sum() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-16); }
all_staged_there() { # installation folder
    local missing=0
    while IFS= read -r f; do
        [ -f "$1/$f" ] || { echo "  missing: $f"; missing=1; }
    done < <(cd "$stage" && find . -type f)
    return $missing
}
wait_gone() { # folder: the uninstaller runs on from a copy of itself
    for _ in $(seq 120); do
        [ -e "$1" ] || return 0
        sleep 0.5
    done
    return 1
}
no_program_file_left() { # installation folder
    [ ! -e "$1" ] && return 0
    find "$1" -type f | sed 's/^/  left: /'
    [ -z "$(find "$1" -type f)" ]
}

# 1. The demo school on C:, as a school's shared folder.
school=$drive_c/学校/共有データ
# (KESTREL_MAKE_DEMO: the demo tool of this machine, from scripts/windows.sh)
"${KESTREL_MAKE_DEMO:-$root/build/ci/tools/make_demo}" "$root/demo/install" "$drive_c/学校" >"$out/make_demo.log" 2>&1
expect "the demo school is laid out in C:\\学校\\共有データ\\" test -f "$school/Kestrel/成績累積データ.dat"
before=$(tree_sum "$school")

version_of() { # the Add/Remove Programs entry's version
    "$WINELOADER" reg query "$uninstall_key" /v DisplayVersion </dev/null 2>/dev/null |
        sed -n 's/.*REG_SZ[[:space:]]*//p' | tr -d '\r'
}
new_version=$(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# 0. An upgrade from an earlier version, with /S alone.
if [ -n "${KESTREL_OLDER_SETUP:-}" ]; then
    expect "the earlier installer is there ($KESTREL_OLDER_SETUP)" test -f "$KESTREL_OLDER_SETUP"
    wine "$KESTREL_OLDER_SETUP" /S '/SHARED=C:\学校\共有データ\'
    older_version=$(version_of)
    expect "the earlier installer (version $older_version) installs" test -n "$older_version" -a "$older_version" != "$new_version"
    path_file_of 'C:\学校\共有データ\' >"$out/expected-path-file"
    # The teacher's own path file lines after the first stay as they are.
    printf 'C:\\学校\\共有データ\\\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n教室A\r\n' | iconv -f UTF-8 -t CP932 >"$installed/パスデータ.txt"
    cp "$installed/パスデータ.txt" "$out/teachers-path-file"
    wine "$setup" /S
    status=$?
    expect "the upgrade with /S alone exits with 0 (got $status)" test "$status" -eq 0
    expect "the upgrade lists version $new_version (got $(version_of))" test "$(version_of)" = "$new_version"
    expect "the upgrade installs the new build's files" cmp -s "$installed/Kestrel/kestrel.exe" "$stage/Kestrel/kestrel.exe"
    expect "the upgrade keeps the path file byte for byte" same_bytes "$installed/パスデータ.txt" "$out/teachers-path-file"
    expect "the upgrade leaves the shared folder as it was" test "$(tree_sum "$school")" = "$before"
    expect "the upgrade makes no sample school" test ! -e "$drive_c/ProgramData/Kestrel/共有データ"
    cp "$out/expected-path-file" "$installed/パスデータ.txt"
else
    echo "check-installer: no earlier installer (KESTREL_OLDER_SETUP): the upgrade was not checked"
fi

start=$(date +%s.%N)
wine "$setup" /S '/SHARED=C:\学校\共有データ\'
status=$?
echo "check-installer: the silent installation took $(printf '%.1f' "$(echo "$(date +%s.%N) - $start" | bc)") s"
expect "/S /SHARED= exits with 0 (got $status)" test "$status" -eq 0
expect "every file of the stage is installed in Program Files\\Kestrel" all_staged_there "$installed"
path_file_of 'C:\学校\共有データ\' >"$out/expected-path-file"
expect "パスデータ.txt names C:\\学校\\共有データ\\ in CP932 with CR LF" same_bytes "$installed/パスデータ.txt" "$out/expected-path-file"
expect "the Start menu has the program and the setup check" test -f "$menu/Kestrel 四捨五入と概数のドリル.lnk" -a -f "$menu/Kestrel 設定の確認.lnk"
expect "Add/Remove Programs lists it" bash -c "'$WINELOADER' reg query '$uninstall_key' /v UninstallString </dev/null 2>/dev/null | grep -q uninstall.exe"
expect "no sample school when /SHARED= names the folder" test ! -e "$drive_c/ProgramData/Kestrel/共有データ"
expect "the folder for runs kept on this PC is there" test -d "$drive_c/ProgramData/Kestrel/記録待ち"

# 2. The program on that school: the windows platform in a private X server.
program='C:\Program Files\Kestrel\Kestrel\kestrel.exe'
for n in $(seq 140 180); do [ -e /tmp/.X11-unix/X$n ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Wine's desktop takes its display from the session's first process: a
# session of its own for the X server.
server -k
server -w
DISPLAY=$display "$WINELOADER" "$program" </dev/null >"$out/program.log" 2>&1 &
program_pid=$!
sleep 25
DISPLAY=$display xwininfo -root -tree >"$out/windows.txt" 2>&1
DISPLAY=$display import -window root "$out/roster.png" 2>/dev/null
expect "the program is running after 25 s" kill -0 $program_pid
expect "its window is up, and no message box" bash -c "grep -q '\"Kestrel\"' '$out/windows.txt' && ! grep -qiE '\"(エラー|error|kestrel - )' '$out/windows.txt'"
kill $program_pid 2>/dev/null
server -k
kill $xvfb 2>/dev/null
wait $program_pid $xvfb 2>/dev/null
server -p
wine cmd /c exit >/dev/null 2>&1 || fail "Wine starts again after the windowed program"
echo "check-installer: the roster as the program shows it: $out/roster.png"

# ... and offscreen, as a PC without a screen runs it.
WINEQT_QPA_PLATFORM=offscreen "$WINELOADER" "$program" </dev/null >"$out/program-offscreen.log" 2>&1 &
program_pid=$!
sleep 10
expect "the program is running offscreen after 10 s" kill -0 $program_pid
# An installation meanwhile: the program, which has no window to close
# here, is asked and waited for; then nothing is replaced.
exe_sum=$(sha256sum <"$installed/Kestrel/kestrel.exe")
start=$(date +%s)
wine "$setup" /S
status=$?
waited=$(($(date +%s) - start))
expect "an installation while it runs exits with 3 after waiting for it ($waited s, got $status)" test "$status" -eq 3 -a "$waited" -ge 25
expect "... and leaves the program running and its files as they were" bash -c "kill -0 $program_pid && [ \"\$(sha256sum <'$installed/Kestrel/kestrel.exe')\" = '$exe_sum' ] && cmp -s '$installed/パスデータ.txt' '$out/expected-path-file'"
kill $program_pid 2>/dev/null
server -k
wait $program_pid 2>/dev/null
server -p
wine cmd /c exit >/dev/null 2>&1 || fail "Wine starts again after the offscreen program"

# 3. kestrel-csv.exe and the Linux kestrel-csv on the same log.
linux_csv=${KESTREL_LINUX_CSV:-$root/build/ci/exporter/kestrel-csv}
if [ -x "$linux_csv" ]; then
    linux=$out/linux
    mkdir -p "$linux/Kestrel"
    cp "$linux_csv" "$linux/Kestrel/"
    path_file_of "$school/" >"$linux/パスデータ.txt"
    for args in "" "--utf8" "--summary" "--summary --utf8"; do
        name=csv${args// /}
        # shellcheck disable=SC2086
        wine "$installed/Kestrel/kestrel-csv.exe" $args -o "C:\\$name-windows.csv" >/dev/null 2>&1
        # shellcheck disable=SC2086
        "$linux/Kestrel/kestrel-csv" $args -o "$out/$name-linux.csv" >/dev/null 2>&1
        expect "kestrel-csv.exe ${args:-(CP932)} writes the Linux kestrel-csv's bytes ($(wc -c <"$out/$name-linux.csv" 2>/dev/null || echo 0) bytes)" \
            bash -c "[ -s '$out/$name-linux.csv' ] && cmp '$drive_c/$name-windows.csv' '$out/$name-linux.csv'"
    done
else
    echo "check-installer: no Linux build of kestrel-csv (build/ci): its bytes were not compared"
fi

# 4. Again without /SHARED=: the path file stays; then the uninstaller.
wine "$setup" /S
expect "/S again keeps the path file" same_bytes "$installed/パスデータ.txt" "$out/expected-path-file"
expect "... and makes no sample school" test ! -e "$drive_c/ProgramData/Kestrel/共有データ"
wine "$installed/uninstall.exe" /S
expect "the uninstaller removes Program Files\\Kestrel" wait_gone "$installed"
expect "no program file is left" no_program_file_left "$installed"
expect "the Start-menu entries are gone" test ! -e "$menu"
expect "Add/Remove Programs no longer lists it" bash -c "! '$WINELOADER' reg query '$uninstall_key' </dev/null >/dev/null 2>&1"
expect "the shared folder is as it was" test "$(tree_sum "$school")" = "$before"
# Installed again later as the guide upgrades, with /S alone: the shared
# folder is the one named before, not a sample school of this PC's own.
wine "$setup" /S
expect "/S after the uninstaller names the same shared folder" same_bytes "$installed/パスデータ.txt" "$out/expected-path-file"
expect "... and makes no sample school" test ! -e "$drive_c/ProgramData/Kestrel/共有データ"
wine "$installed/uninstall.exe" /S
wait_gone "$installed" || fail "the second uninstallation removes Program Files\\Kestrel"
# The PCs of step 5 never had Kestrel.
wine reg delete 'HKLM\Software\Kestrel' /f >/dev/null 2>&1 || fail "the earlier installation's settings are removed"

# 5. A first installation elsewhere without /SHARED=: the sample school.
other=$drive_c/Kestrel2
wine "$setup" /S '/D=C:\Kestrel2'
sample=$drive_c/ProgramData/Kestrel/共有データ
expect "/D= installs into C:\\Kestrel2" all_staged_there "$other"
expect "a first installation gets the sample school in ProgramData" test -f "$sample/共通データ.txt" -a -f "$sample/新名簿.txt"
expect "... without a results log" test ! -e "$sample/Kestrel/成績累積データ.dat"
path_file_of 'C:\ProgramData\Kestrel\共有データ\' >"$out/expected-sample-path-file"
expect "パスデータ.txt names the sample school" same_bytes "$other/パスデータ.txt" "$out/expected-sample-path-file"
wine "$other/Kestrel/kestrel-doctor.exe" >"$out/doctor.txt" 2>&1
echo "check-installer: the setup check on the sample school exits with $? (build/windows/check/doctor.txt):"
sed 's/^/  /' "$out/doctor.txt" | head -40
sample_sum=$(tree_sum "$sample")

wine "$setup" /S '/SHARED=\\server\share\kestrel' '/D=C:\Kestrel2'
path_file_of '\\server\share\kestrel\' >"$out/expected-unc-path-file"
expect "/SHARED=\\\\server\\share\\kestrel repoints the path file (a \\ added)" same_bytes "$other/パスデータ.txt" "$out/expected-unc-path-file"

wine "$setup" /S '/SHARED=共有データ' '/D=C:\Kestrel3'
status=$?
expect "a relative /SHARED= is refused with 2 (got $status) and installs nothing" \
    test "$status" -eq 2 -a ! -e "$drive_c/Kestrel3"
# A drive letter is one user's mapping: a drive this PC does not have, and
# a network drive whose share is not known, are refused.
rm -f "$WINEPREFIX/dosdevices/q:"
wine "$setup" /S '/SHARED=Q:\kestrel\' '/D=C:\Kestrel3'
status=$?
expect "/SHARED= on a drive this PC does not have is refused with 2 (got $status)" \
    test "$status" -eq 2 -a ! -e "$drive_c/Kestrel3"
mkdir -p "$out/network-drive/kestrel"
ln -sfn "$out/network-drive" "$WINEPREFIX/dosdevices/n:"
wine reg add 'HKLM\Software\Wine\Drives' /v 'n:' /t REG_SZ /d network /f >/dev/null 2>&1
server -k
server -w
wine "$setup" /S '/SHARED=N:\kestrel\' '/D=C:\Kestrel3'
status=$?
expect "/SHARED= on a network drive whose share is not known is refused with 2 (got $status)" \
    test "$status" -eq 2 -a ! -e "$drive_c/Kestrel3"

wine "$other/uninstall.exe" /S
expect "the uninstaller removes C:\\Kestrel2" wait_gone "$other"
expect "the sample school stays" test "$(tree_sum "$sample")" = "$sample_sum"

server -k
echo "check-installer: $((checks - failures)) of $checks checks passed"
[ $failures -eq 0 ]
