#!/usr/bin/env bash
# Checks a built Debian package of Kestrel: its control data, the layout it
# installs (unpacked into a temporary root), the launcher, the desktop entry
# and the lintian verdict. Usage: check-package.sh kestrel_*.deb
set -euo pipefail

deb=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "package: $*" >&2
    exit 1
}

# Control data: dependencies computed from the libraries, plus what the
# program loads at run time; the path file is a configuration file.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libsdl2 libc6 libstdc++6 libfontconfig1 libcrypt1 qt6-qpa-plugins \
    fonts-ipafont-gothic fonts-morisawa-bizud-gothic; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -x -C "$tmp" ./conffiles ./postinst ./postrm
grep -qx "/etc/kestrel/path-data.txt" "$tmp/conffiles" || fail "the path file is no conffile"

# The layout.
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
lib="$root/usr/lib/kestrel"
[ -x "$lib/Kestrel/kestrel" ] || fail "no program in the program folder"
[ -x "$lib/起動/プログラムメニューc.exe" ] || fail "no program menu in 起動"
[ -x "$lib/Kestrel/kestrel-csv" ] || fail "no CSV export beside the program"
[ -x "$root/usr/bin/kestrel-csv" ] || fail "no launcher of the CSV export"
[ -x "$lib/Kestrel/kestrel-doctor" ] || fail "no setup check beside the program"
grep -q '^exec /usr/lib/kestrel/Kestrel/kestrel-doctor "\$@"$' "$root/usr/bin/kestrel-doctor" ||
    fail "no launcher of the setup check"
[ -f "$root/usr/share/man/man1/kestrel-doctor.1.gz" ] || fail "no manual page of the setup check"
[ -x "$lib/Kestrel/kestrel-roster" ] || fail "no roster tool beside the program"
grep -q '^exec /usr/lib/kestrel/Kestrel/kestrel-roster "\$@"$' "$root/usr/bin/kestrel-roster" ||
    fail "no launcher of the roster tool"
[ -f "$root/usr/share/man/man1/kestrel-roster.1.gz" ] || fail "no manual page of the roster tool"
[ "$(readlink "$lib/パスデータ.txt")" = /etc/kestrel/path-data.txt ] ||
    fail "the program folder's parent does not lead to the path file"
first=$(iconv -f CP932 -t UTF-8 "$root/etc/kestrel/path-data.txt" | head -n 1)
[ "$first" = $'/var/lib/kestrel/共有データ/\r' ] || fail "path file names '$first'"
[ "$(iconv -f CP932 -t UTF-8 "$root/etc/kestrel/path-data.txt" | wc -l)" -eq 10 ] ||
    fail "the path file does not hold ten items"
sample="$root/usr/share/kestrel/sample/共有データ"
for f in 共通データ.txt 新名簿.txt Kestrel/タイム回数データ.txt 音フォルダ/新音ファイル.txt; do
    [ -f "$sample/$f" ] || fail "the sample school lacks $f"
done
[ ! -e "$sample/Kestrel/成績累積データ.dat" ] || fail "the sample school comes with results"

# The launcher starts the program of the program folder.
grep -q '^exec /usr/lib/kestrel/Kestrel/kestrel "\$@"$' "$root/usr/bin/kestrel" ||
    fail "the launcher does not start the program"
[ -x "$root/usr/bin/kestrel" ] || fail "the launcher is not executable"

# The desktop entry, in Japanese and English, with its icon.
desktop="$root/usr/share/applications/kestrel.desktop"
desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
grep -q '^Name\[ja\]=四捨五入と概数のドリル$' "$desktop" || fail "no Japanese name"
grep -q '^Exec=kestrel$' "$desktop" || fail "the entry does not start the launcher"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/kestrel.svg" ] || fail "no icon"

# The software centre's entry: valid, in Japanese and English, for the launcher.
metainfo="$root/usr/share/metainfo/org.example.Kestrel.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metainfo is not valid"
grep -q '<name xml:lang="ja">四捨五入と概数のドリル</name>' "$metainfo" || fail "no Japanese name in the metainfo"
grep -q '<launchable type="desktop-id">kestrel.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not name the desktop entry"

# Lintian: no errors.
if command -v lintian >/dev/null 2>&1; then
    lintian --tag-display-limit 0 "$deb" > "$tmp/lintian.txt" 2>&1 || true
    if grep -q '^E:' "$tmp/lintian.txt"; then
        cat "$tmp/lintian.txt" >&2
        fail "lintian reports errors"
    fi
    echo "lintian: $(grep -c '^W:' "$tmp/lintian.txt" || true) warnings, no errors"
fi
echo "package: $(basename "$deb") is whole"
