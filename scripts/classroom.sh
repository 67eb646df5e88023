#!/usr/bin/env bash
# The long classroom run: 40 PCs of 30 runs each and the teacher on one data
# folder as slow as a school's share (100 Mbit/s), whose log already holds
# 100000 records (the demo's history, over and over). Prints the
# simulator's JSON report and fails when a record was lost, doubled or torn.
#   bash scripts/classroom.sh [PCS [RUNS [MBIT [RECORDS]]]]
# With KESTREL_CLASSROOM_READ_WHOLE=1 every load reads whole, as the program
# did before it kept what it read: the figures to compare with.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

pcs=${1:-40}
runs=${2:-30}
mbit=${3:-100}
records=${4:-100000}

bash scripts/install-deps.sh
bash scripts/configure.sh ci >/dev/null
cmake --build build/ci -j2 --target kestrel-classroom make_demo >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/ci/tools/make_demo demo/install "$work/demo" >/dev/null
history="$work/demo/共有データ/Kestrel/成績累積データ.dat"
log="$work/data/成績累積データ.dat"
mkdir -p "$work/data"
: >"$log"
while [ "$(stat -c %s "$log")" -lt $((records * 44)) ]; do
    cat "$history" >>"$log"
done
truncate -s $((records * 44)) "$log"

build/ci/tests/kestrel-classroom --folder "$work/data" --pcs "$pcs" --runs "$runs" --teacher \
    --mbit "$mbit" --seed 1
