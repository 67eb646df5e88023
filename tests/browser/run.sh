#!/usr/bin/env bash
# Runs the tablet page's browser test (drill.mjs) with its arguments, or
# skips it (status 77) with the reason when the machine cannot run it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
    echo "Browser test skipped: $*" >&2
    exit 77
}
[ -x /usr/bin/chromium ] || skip "/usr/bin/chromium is missing (apt-get install chromium, or scripts/install-deps.sh)"
command -v node >/dev/null 2>&1 || skip "node is missing (apt-get install nodejs, or scripts/install-deps.sh)"
[ -f "$here/node_modules/playwright-core/package.json" ] ||
    skip "the npm packages are missing (npm ci in tests/browser, or scripts/install-deps.sh)"

exec node "$here/drill.mjs" "$@"
