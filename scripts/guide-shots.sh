#!/usr/bin/env bash
# Takes the screenshots of the teacher's guide (docs/images/) anew: lays out
# a fresh demo installation and goes through every screen on it, offscreen.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
build=build/ci
bash scripts/configure.sh ci
cmake --build "$build" --target kestrel make_demo guide_shots -j2

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
"$build/tools/make_demo" demo/install "$demo"
mkdir -p "$demo/Kestrel"
cp "$build/src/kestrel" "$demo/Kestrel/kestrel"
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    "$build/tools/guide/guide_shots" "$demo/Kestrel/kestrel" docs/images

# The tablet page's screens, from the browser test on the built server.
cmake --build "$build" --target kestrel-server -j2
mkdir -p docs/images/tablet
KESTREL_GUIDE_IMAGES="$root/docs/images/tablet" bash tests/browser/run.sh \
    --server "$build/server/kestrel-server" --www server/www \
    --make-demo "$build/tools/make_demo" --demo demo/install --out "$build/browser"
