#!/usr/bin/env bash
# Configures a CMake preset in build/<preset>: Ninja on the first run, the
# generator chosen then on every later run. Further arguments go to cmake.
#   bash scripts/configure.sh PRESET [CMAKE_ARGUMENT...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

preset=$1
shift
if [ -f "build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" "$@"
else
    cmake --preset "$preset" -G Ninja "$@"
fi
