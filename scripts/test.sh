#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test, screen
# tests included (offscreen platform, SDL's dummy audio driver).
#   bash scripts/test.sh              the Linux suite (and again under ASan)
#   bash scripts/test.sh --windows    then the Windows pass: the Windows build,
#                                     its suite under Wine and its installer
#                                     (scripts/windows.sh ci), or why it
#                                     cannot run on this machine
set -euo pipefail

windows=0
[ "${1:-}" = --windows ] && windows=1

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

# The structure first: no include climbs a layer, every file is formatted.
bash scripts/check-layers.sh
bash scripts/check-format.sh

# Configures a preset (Ninja on the first run), builds it and runs its tests.
build_and_test() {
    local preset=$1 dir=build/$1
    bash scripts/configure.sh "$preset"
    cmake --build "$dir" -j2
    ctest --test-dir "$dir" --output-on-failure -j2
}

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy

build_and_test ci

# Once more under AddressSanitizer and UndefinedBehaviorSanitizer. Leak
# reports are off: the platform libraries keep caches until exit.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 build_and_test asan

if [ $windows -eq 1 ]; then
    bash scripts/windows.sh ci
fi
