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
