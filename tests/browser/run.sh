#!/usr/bin/env bash
# Runs the tablet page's browser test with its arguments, or skips it
# (status 77) with the reason when the machine cannot run it.
#   run.sh [webkit] ARGUMENT...    Chromium (drill.mjs), or WebKit (webkit.mjs)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
    echo "Browser test skipped: $*" >&2
    exit 77
}
test=drill.mjs
if [ "${1:-}" = webkit ]; then
    shift
    test=webkit.mjs
    [ -x /usr/bin/WebKitWebDriver ] ||
        skip "/usr/bin/WebKitWebDriver is missing (apt-get install webkit2gtk-driver, or scripts/install-deps.sh)"
    [ -x /usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser ] ||
        skip "WebKitGTK's MiniBrowser is missing (apt-get install webkit2gtk-driver, or scripts/install-deps.sh)"
    command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is missing (apt-get install xvfb, or scripts/install-deps.sh)"
else
    [ -x /usr/bin/chromium ] || skip "/usr/bin/chromium is missing (apt-get install chromium, or scripts/install-deps.sh)"
fi
[ -f /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf ] ||
    skip "IPAPGothic, the tablet's font, is missing (apt-get install fonts-ipafont-gothic, or scripts/install-deps.sh)"
command -v node >/dev/null 2>&1 || skip "node is missing (apt-get install nodejs, or scripts/install-deps.sh)"
[ -f "$here/node_modules/playwright-core/package.json" ] ||
    skip "the npm packages are missing (npm ci in tests/browser, or scripts/install-deps.sh)"

exec node "$here/$test" "$@"
