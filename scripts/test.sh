#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test, screen
# tests included (offscreen platform, SDL's dummy audio driver).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

build=build/ci
if [ -f "$build/CMakeCache.txt" ]; then
    cmake --preset ci
else
    cmake --preset ci -G Ninja
fi
cmake --build "$build" -j2

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
ctest --test-dir "$build" --output-on-failure -j2

# Once more under AddressSanitizer and UndefinedBehaviorSanitizer. Leak
# reports are off: the platform libraries keep caches until exit.
asan=build/asan
if [ -f "$asan/CMakeCache.txt" ]; then
    cmake --preset asan
else
    cmake --preset asan -G Ninja
fi
cmake --build "$asan" -j2
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$asan" --output-on-failure -j2
