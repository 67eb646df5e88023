#!/usr/bin/env bash
# The installer's classroom-server part (packaging/windows/server.nsh) under
# Wine, in a stand-in installer that includes it as the main one does, on a
# Wine prefix of its own:
#   1. without /SERVER nothing of the server is installed;
#   2. /S /SERVER=1 installs the server and its page, the Startup and Start-
#      menu shortcuts, and asks netsh for the firewall rule (Wine's netsh is
#      a stub that does nothing: the check reads the command it was given);
#      the Startup shortcut starts the server on the installed school, and it
#      answers /api/names on 127.0.0.1;
#   3. /S again keeps it; /S /SERVER=0 removes it, the rest stays;
#   4. the uninstaller stops the running server and removes all of it;
#   5. /SERVER alone counts as /SERVER=1.
#   bash tests/server/windows-installer.sh BUILD   (BUILD: a Windows build with
#                                                   kestrel-server.exe, e.g. build/win-server)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(realpath "$1")
port=${KESTREL_TEST_PORT:-18081}
work=$build/server-installer-check
rm -rf "$work"
mkdir -p "$work/stage/Kestrel" "$work/server-stage"

export WINEPREFIX=$work/wineprefix
export WINELOADER=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wine() { "$WINELOADER" "$@" </dev/null; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
failures=0
ok() { echo "server-installer: ok    $*"; }
fail() { failures=$((failures + 1)); echo "server-installer: FAIL  $*"; }
expect() { # description, command...
    local what=$1
    shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}

# The school: the demo's shared folder in CP932 with CR LF, as a school's.
school=$work/school/共有データ
(cd "$root/demo/install/共有データ" && find . -type f) | while IFS= read -r f; do
    mkdir -p "$(dirname "$school/$f")"
    sed 's/$/\r/' "$root/demo/install/共有データ/$f" | iconv -f UTF-8 -t CP932 >"$school/$f"
done
{
    printf '%s\\\r\n' "$(winpath "$school")"
    for _ in $(seq 9); do printf '0\r\n'; done
} | iconv -f UTF-8 -t CP932 >"$work/stage/パスデータ.txt"
echo "stand-in" >"$work/stage/Kestrel/kestrel.txt"

# The server's stage, as scripts/windows.sh lays it out: stripped.
x86_64-w64-mingw32-strip -o "$work/server-stage/kestrel-server.exe" "$build/server/kestrel-server.exe"
cp -r "$root/server/www" "$work/server-stage/www"
rm -f "$work/server-stage/www/.keep"

# A stand-in of the main script: the lines server.nsh asks for, in their places.
cat >"$work/main.nsi" <<EOF
Unicode true
Target amd64-unicode
RequestExecutionLevel admin
!include LogicLib.nsh
!include x64.nsh
!define SETTINGSKEY "Software\\Kestrel"
Name "Kestrel"
OutFile "$work/kestrel-server-part.exe"
InstallDir "\$PROGRAMFILES64\\Kestrel"
!include MUI2.nsh
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
Section "Kestrel" SecMain
  SectionIn RO
  SetOutPath "\$INSTDIR"
  File /r "$work/stage/*"
  WriteUninstaller "\$INSTDIR\\uninstall.exe"
SectionEnd
!include "$root/packaging/windows/server.nsh"
Function .onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro KestrelServerOptions
FunctionEnd
Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd
Section "Uninstall"
  Delete "\$INSTDIR\\Kestrel\\kestrel.txt"
  Delete "\$INSTDIR\\パスデータ.txt"
  Delete "\$INSTDIR\\uninstall.exe"
  RMDir "\$INSTDIR\\Kestrel"
  RMDir "\$INSTDIR"
SectionEnd
EOF
if ! makensis -V2 -INPUTCHARSET UTF8 -DKESTREL_SERVER_PORT="$port" -DSERVER_STAGE="$work/server-stage" "$work/main.nsi" >"$work/makensis.log" 2>&1; then
    cat "$work/makensis.log"
    exit 1
fi
echo "server-installer: stand-in installer $(stat -c %s "$work/kestrel-server-part.exe") bytes," \
    "server $(stat -c %s "$work/server-stage/kestrel-server.exe") bytes stripped"

wine wineboot -i >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 || true
installed=$WINEPREFIX/drive_c/Program\ Files/Kestrel
startup=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/StartUp/Kestrel\ 教室サーバー.lnk
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Kestrel/Kestrel\ 教室サーバー.lnk
rule="name=\"Kestrel 教室サーバー\" dir=in action=allow protocol=TCP localport=$port profile=private,domain"

# netsh's arguments as Wine's stub logs them, one command a line, written
# as the command line was (name="…" for a value with a blank).
netsh_calls() {
    python3 - "$1" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    if "fixme:netsh:wmain stub" not in line:
        continue
    args = [re.sub(r"\\([0-9a-f]{4})", lambda m: chr(int(m.group(1), 16)), a)
            for a in re.findall(r'L"((?:[^"\\]|\\.)*)"', line)][1:]
    print(" ".join(f'{a.split("=", 1)[0]}="{a.split("=", 1)[1]}"' if " " in a and "=" in a else a
                   for a in args))
PY
}
install() { # log, arguments...
    local log=$1
    shift
    WINEDEBUG=fixme+netsh "$WINELOADER" "$work/kestrel-server-part.exe" "$@" </dev/null >"$log" 2>&1
}
has_server() {
    [ -f "$installed/Kestrel/kestrel-server.exe" ] && [ -f "$installed/Kestrel/www/index.html" ] &&
        [ -f "$startup" ] && [ -f "$menu" ]
}
no_server() {
    [ ! -e "$installed/Kestrel/kestrel-server.exe" ] && [ ! -e "$installed/Kestrel/www" ] &&
        [ ! -e "$startup" ] && [ ! -e "$menu" ]
}
answers() {
    for _ in $(seq 40); do
        curl -sf -m 2 "http://127.0.0.1:$1/api/names" 2>/dev/null | grep -q '"Combo1"' && return 0
        sleep 0.5
    done
    return 1
}

# 1. Without /SERVER.
install "$work/1.log" /S
expect "without /SERVER the program is installed" test -f "$installed/Kestrel/kestrel.txt"
expect "without /SERVER no part of the server is" no_server
expect "without /SERVER netsh is not asked" test -z "$(netsh_calls "$work/1.log")"

# 2. /SERVER=1.
install "$work/2.log" /S /SERVER=1
expect "/SERVER=1 installs the server, its page and both shortcuts" has_server
expect "the Startup shortcut names the installed server" \
    bash -c 'tr -d "\\0" <"$1" | grep -qa "Kestrel.kestrel-server.exe"' - "$startup"
calls=$(netsh_calls "$work/2.log")
expect "netsh is asked to add the private-network rule for the port" \
    grep -qxF "advfirewall firewall add rule $rule" <<<"$calls"
expect "a rule of an earlier installation is deleted first" \
    grep -qxF "advfirewall firewall delete rule name=\"Kestrel 教室サーバー\"" <<<"$calls"
# The Startup folder's shortcut, started as Windows starts it at log-on.
wine start /min "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\Kestrel 教室サーバー.lnk" \
    >/dev/null 2>&1
expect "the server started by the Startup shortcut answers /api/names" answers "$port"

# 3. Again without /SERVER: kept; /SERVER=0: removed, the program stays.
install "$work/3.log" /S
expect "a later installation keeps the server" has_server
install "$work/4.log" /S /SERVER=0
expect "/SERVER=0 removes the server, its shortcuts" no_server
expect "/SERVER=0 asks netsh to delete the rule" \
    grep -qxF "advfirewall firewall delete rule name=\"Kestrel 教室サーバー\"" <<<"$(netsh_calls "$work/4.log")"
expect "/SERVER=0 leaves the program" test -f "$installed/Kestrel/kestrel.txt"
expect "/SERVER=0 stopped the running server" bash -c "! curl -sf -m 2 http://127.0.0.1:$port/api/names >/dev/null"

# 4. With the server running, uninstalled.
install "$work/5.log" /S /SERVER=1
wine start /min "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\Kestrel 教室サーバー.lnk" \
    >/dev/null 2>&1
expect "the reinstalled server answers" answers "$port"
WINEDEBUG=fixme+netsh "$WINELOADER" "$installed/uninstall.exe" /S </dev/null >"$work/6.log" 2>&1
for _ in $(seq 60); do
    [ -e "$installed" ] || break
    sleep 0.5
done
expect "the uninstaller removes every file" test ! -e "$installed"
expect "the uninstaller removes the shortcuts" no_server
expect "the uninstaller asks netsh to delete the rule" \
    grep -qxF "advfirewall firewall delete rule name=\"Kestrel 教室サーバー\"" <<<"$(netsh_calls "$work/6.log")"
expect "the uninstaller stopped the server" bash -c "! curl -sf -m 2 http://127.0.0.1:$port/api/names >/dev/null"
expect "the school's folder was left alone" test -f "$school/新名簿.txt"

# /SERVER alone, as /SERVER=1.
install "$work/7.log" /S /SERVER
expect "/SERVER alone installs the server" has_server
"$WINELOADER" "$installed/uninstall.exe" /S </dev/null >/dev/null 2>&1

wineserver -k </dev/null >/dev/null 2>&1 || true
if [ $failures -gt 0 ]; then
    echo "server-installer: $failures checks failed (logs in $work)"
    exit 1
fi
echo "server-installer: every check passed"
