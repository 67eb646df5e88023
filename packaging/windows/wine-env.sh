# The Wine that runs Kestrel's Windows build on this machine, sourced by
# scripts/windows.sh and packaging/windows/check-installer.sh.
#   kestrel_wine_env PREFIX WORK   exports Wine's settings (WORK holds the
#                                  sound and font settings it refers to)
#   kestrel_wine_boot              makes the prefix and starts its server
#   kestrel_winpath PATH           the Windows name of a Linux path (Z:)

kestrel_winpath() {
    local p=${1//\//\\}
    echo "Z:$p"
}

kestrel_wine_env() {
    local work=$2
    export WINEPREFIX=$1
    export WINELOADER=/usr/lib/wine/wine64
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
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
    fi
    wineserver -p </dev/null >/dev/null 2>&1 || true
    "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
    # Wine has no Japanese Windows fonts: free fonts stand in for them
    # (the program's own, the installer's, and the dialogs' fallback). The
    # fixed-pitch Gothic is BIZ UDGothic, whose zero is plain as MS Gothic's
    # is (IPAGothic's is slashed).
    local key='HKCU\Software\Wine\Fonts\Replacements' pair
    for pair in "MS Gothic=BIZ UDGothic" "MS PGothic=IPAPGothic" "MS Mincho=IPAMincho" \
        "MS PMincho=IPAPMincho" "MS UI Gothic=IPAPGothic" "Meiryo=IPAPGothic" \
        "ＭＳ ゴシック=BIZ UDGothic" "ＭＳ Ｐゴシック=IPAPGothic" "ＭＳ 明朝=IPAMincho"; do
        "$WINELOADER" reg add "$key" /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f \
            </dev/null >/dev/null 2>&1 || true
    done
}
