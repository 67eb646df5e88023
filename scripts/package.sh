#!/usr/bin/env bash
# Builds the Debian package of Kestrel from a release build:
#   build/release/package/kestrel_<version>_<arch>.deb
# Install it with: sudo apt install ./build/release/package/kestrel_*.deb
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

build=build/release
bash scripts/configure.sh release -DKESTREL_BUILD_BENCH=OFF
cmake --build "$build" -j2
rm -f "$build"/package/kestrel_*.deb
(cd "$build" && cpack -G DEB)
bash tests/package/check-package.sh "$build"/package/kestrel_*.deb
