#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted with the
# checked-in .clang-format.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "format: every file follows .clang-format"
else
    echo "format: run clang-format -i on the files above" >&2
    exit 1
fi
