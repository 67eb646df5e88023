# The Wine that runs Kestrel's Windows build on this machine, sourced by
# scripts/windows.sh, scripts/windows-core.sh and
# packaging/windows/check-installer.sh.
#   kestrel_wine_find              finds Wine's tools (KESTREL_WINE, the
#                                  64-bit loader, and KESTREL_WINESERVER);
#                                  says what is missing and fails otherwise
#   kestrel_wine_env PREFIX WORK   exports Wine's settings (WORK holds the
#                                  sound and font settings it refers to)
#   kestrel_wine_boot              makes the prefix and starts its server
#   kestrel_wineserver -k|-w|-p    ends, waits for or starts the prefix's
#                                  server; a failure is said, and returns 1
#   kestrel_winpath PATH           the Windows name of a Linux path (Z:)

# A Wine tool where Debian's packages put it: on the PATH (the wine
# package's wrappers), else in the folder the wine64 and libwine packages
# install it to (/usr/lib/wine on Debian 12), which is on no PATH.
kestrel_wine_tool() { # name
    local found
    if found=$(command -v "$1"); then
        echo "$found"
        return 0
    fi
    found=$(dpkg-query -L wine64 libwine 2>/dev/null | grep -m1 "/$1\$" || true)
    if [ -n "$found" ] && [ -x "$found" ]; then
        echo "$found"
        return 0
    fi
    return 1
}

kestrel_wine_find() {
    if ! KESTREL_WINE=$(kestrel_wine_tool wine64) && ! KESTREL_WINE=$(kestrel_wine_tool wine); then
        echo "wine-env: no 64-bit Wine: neither wine64 nor wine is on the PATH or in Debian's wine64 package (bash scripts/install-deps.sh windows installs it)" >&2
        return 1
    fi
    if ! KESTREL_WINESERVER=$(kestrel_wine_tool wineserver); then
        echo "wine-env: no wineserver on the PATH or in Debian's wine64 and libwine packages (bash scripts/install-deps.sh windows installs them)" >&2
        return 1
    fi
    # What this session starts (CTest, the tests' own scripts) finds the
    # same tools by name.
    PATH=$(dirname "$KESTREL_WINESERVER"):$PATH
    export KESTREL_WINE KESTREL_WINESERVER PATH
}

kestrel_wineserver() { # -k | -w | -p
    local status=0 err
    err=$(mktemp)
    "$KESTREL_WINESERVER" "$1" </dev/null >/dev/null 2>"$err" || status=$?
    # -k with no server running, and -p with one running (which it keeps),
    # are as wanted.
    case "$1:$status" in
    *:0 | -k:1 | -p:2)
        rm -f "$err"
        return 0
        ;;
    esac
    echo "wine-env: $KESTREL_WINESERVER $1 failed with status $status: $(tail -3 "$err")" >&2
    rm -f "$err"
    return 1
}

kestrel_winpath() {
    local p=${1//\//\\}
    echo "Z:$p"
}

kestrel_wine_env() {
    local work=$2
    [ -n "${KESTREL_WINESERVER:-}" ] || kestrel_wine_find || return 1
    export WINEPREFIX=$1
    export WINELOADER=$KESTREL_WINE
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES=mscoree,mshtml=
    # UTF-8 file names on the Linux side (a locale this machine has);
    # the program converts CP932 by its number, whatever the code page.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    # A null sound device: a sound plays and waits without a sound card.
    mkdir -p "$work/fonts"
    printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$work/alsa-null.conf"
    export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$work/alsa-null.conf
    # Wine drops every variable that starts with QT_ and passes WINEQT_X on
    # as QT_X. The offscreen platform on Windows reads its fonts from one
    # folder.
    local f
    for f in /usr/share/fonts/opentype/ipafont-gothic/*.ttf /usr/share/fonts/opentype/ipafont-mincho/*.ttf \
        /usr/share/fonts/truetype/bizud-gothic/*.ttf; do
        [ -e "$f" ] && ln -sf "$f" "$work/fonts/"
    done
    WINEQT_QPA_FONTDIR=$(kestrel_winpath "$work/fonts")
    export WINEQT_QPA_FONTDIR
}

kestrel_wine_boot() {
    # Wine's services start with its first process and would hold the
    # output pipe of whoever started it (CTest, Ninja): they start here,
    # detached, and the server stays up for the processes that follow.
    local log
    log=$(dirname "$WINEPREFIX")/wine-boot.log
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ] && ! "$WINELOADER" wineboot -i </dev/null >"$log" 2>&1; then
        echo "wine-env: wineboot cannot make the prefix $WINEPREFIX: $(tail -3 "$log")" >&2
        return 1
    fi
    kestrel_wineserver -p || return 1
    if ! "$WINELOADER" cmd /c exit </dev/null >"$log" 2>&1; then
        echo "wine-env: Wine cannot start a Windows program in $WINEPREFIX: $(tail -3 "$log")" >&2
        return 1
    fi
    # Wine has no Japanese Windows fonts: free fonts stand in for them
    # (the program's own, the installer's, and the dialogs' fallback). The
    # fixed-pitch Gothic is BIZ UDGothic, whose zero is plain as MS Gothic's
    # is (IPAGothic's is slashed).
    local key='HKCU\Software\Wine\Fonts\Replacements' pair
    for pair in "MS Gothic=BIZ UDGothic" "MS PGothic=IPAPGothic" "MS Mincho=IPAMincho" \
        "MS PMincho=IPAPMincho" "MS UI Gothic=IPAPGothic" "Meiryo=IPAPGothic" \
        "ＭＳ ゴシック=BIZ UDGothic" "ＭＳ Ｐゴシック=IPAPGothic" "ＭＳ 明朝=IPAMincho"; do
        if ! "$WINELOADER" reg add "$key" /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f \
            </dev/null >/dev/null 2>&1; then
            echo "wine-env: Wine's reg cannot set the font ${pair%%=*} in $WINEPREFIX" >&2
            return 1
        fi
    done
}
