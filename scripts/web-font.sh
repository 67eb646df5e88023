#!/usr/bin/env bash
# Makes the tablet page's fixed-pitch web font, server/www/kestrel-gothic.woff2,
# and its licence beside it from Debian's BIZ UDGothic (OFL 1.1): a subset
# holding ASCII, kana, the full-width forms, the page's symbols and every
# character of the texts the page and the classroom server show. Names from
# a roster are drawn by the tablet's own fonts, each in a cell of the width
# the page gives it, so the subset needs none of them.
#   bash scripts/web-font.sh            regenerate the font (after a new text)
#   bash scripts/web-font.sh --check    fail if the font misses a character
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source_font=/usr/share/fonts/truetype/bizud-gothic/BIZUDGothic-Regular.ttf
copyright=/usr/share/doc/fonts-morisawa-bizud-gothic/copyright
out=$root/server/www/kestrel-gothic.woff2
licence=$root/server/www/kestrel-gothic-OFL.txt
check=${1:-}

for p in fonts-morisawa-bizud-gothic python3-fonttools python3-brotli; do
    if ! dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii'; then
        echo "web-font: $p is missing (apt-get install $p, or scripts/install-deps.sh)" >&2
        # the check is skipped (as a test) on a machine without the tools
        [ "$check" = --check ] && exit 77
        exit 1
    fi
done

# Debian's Python, which has the fonttools and brotli modules.
/usr/bin/python3 - "$root" "$source_font" "$out" "$check" <<'EOF'
import glob, io, re, sys
from fontTools import subset
from fontTools.ttLib import TTFont

root, source, out, check = sys.argv[1:5]

# Ranges the page needs whatever the texts: ASCII, Latin-1's × and ÷,
# punctuation and symbols of CJK, hiragana, katakana, the full-width forms and
# half-width katakana, circled numbers (grades in the rankings), ● ○ ★ ☆ ■ □
# ◆ ◇ ▲ △ ▼ ▽, arrows, the ideographic space and the long dash.
ranges = [(0x20, 0x7E), (0xD7, 0xD7), (0xF7, 0xF7), (0x2010, 0x2026),
          (0x2190, 0x2193), (0x2460, 0x2473), (0x25A0, 0x25A1), (0x25B2, 0x25B3),
          (0x25BC, 0x25BD), (0x25C6, 0x25C7), (0x25CB, 0x25CB), (0x25CE, 0x25CF),
          (0x2605, 0x2606), (0x3000, 0x3011), (0x3041, 0x3096), (0x309B, 0x309E),
          (0x30A1, 0x30FE), (0xFF01, 0xFF5E), (0xFF61, 0xFF9F)]
chars = {chr(c) for a, b in ranges for c in range(a, b + 1)}

# Every character of the page's own files, of the texts in the page's API
# description, and of the string literals of the code that makes the texts
# the server sends: its front, the problems, the level menu, the end screen
# and the program's title and level names.
literal = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
for pattern in ['server/www/*.html', 'server/www/*.js', 'server/API.md']:
    for path in glob.glob(f'{root}/{pattern}'):
        chars |= set(open(path, encoding='utf-8').read())
for pattern in ['server/*.cpp', 'src/drill/*.cpp', 'src/levelmenu/*.cpp', 'src/results/*.cpp',
                'src/school/*.cpp', 'src/startup/ProgramDefinition.cpp']:
    for path in glob.glob(f'{root}/{pattern}'):
        for text in literal.findall(open(path, encoding='utf-8').read()):
            chars |= set(text)
chars = {c for c in chars if c >= ' ' and c != '\x7f'}

font = TTFont(source)
cmap = font.getBestCmap()
wanted = sorted(ord(c) for c in chars if ord(c) in cmap)

if check == '--check':
    have = TTFont(out).getBestCmap()
    missing = [chr(c) for c in wanted if c not in have]
    if missing:
        print('web-font: the font misses ' + ''.join(missing) + ': run bash scripts/web-font.sh', file=sys.stderr)
        sys.exit(1)
    sys.exit(0)

options = subset.Options()
options.flavor = 'woff2'
options.layout_features = ['vert']
options.hinting = False
options.desubroutinize = True
options.name_IDs = [0, 1, 2, 3, 4, 5, 6, 13, 14]
options.notdef_outline = True
subsetter = subset.Subsetter(options)
subsetter.populate(unicodes=wanted)
subsetter.subset(font)

# A modified version under its own name, as the licence asks.
for record in font['name'].names:
    if record.nameID in (1, 4):
        record.string = 'Kestrel Gothic'
    elif record.nameID == 3:
        record.string = 'Kestrel Gothic subset of BIZ UDGothic 1.05'
    elif record.nameID == 6:
        record.string = 'KestrelGothic-Regular'
# The source's dates, so that the same inputs give the same file.
font.recalcTimestamp = False
font['head'].modified = font['head'].created
font.flavor = 'woff2'
font.save(out)
print(f'web-font: {out} with {len(wanted)} characters, {len(open(out, "rb").read())} bytes')
EOF

[ "$check" = --check ] && exit 0

# The licence beside the font: the font's copyright and the OFL's text.
{
    echo "Kestrel Gothic (kestrel-gothic.woff2) is a subset of BIZ UDGothic 1.05,"
    echo "made by scripts/web-font.sh from Debian's fonts-morisawa-bizud-gothic."
    echo
    echo "Copyright 2022 The BIZ UDGothic Project Authors"
    echo
    # The licence's own paragraph: its indented lines, a lone "." a blank line.
    awk '/^License: SIL-1.1$/ { on = 1; next }
         on && /^ / { text = 1; sub(/^ /, ""); if ($0 == ".") $0 = ""; print; next }
         on && text { exit }
         { on = 0 }' "$copyright"
} >"$licence"
echo "web-font: $licence"
