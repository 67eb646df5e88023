#!/usr/bin/env bash
# Counts with strace the bytes the screens read from the results log and the
# files beside it (the change mark, a delete's plan), step by step, on a log
# of RECORDS runs: the menu's activation after K runs of another PC, the end
# screen, today's list, the graph panel, and N keys in the criteria editor.
# Needs strace and the ci build (bash scripts/configure.sh ci).
#   bash scripts/log-traffic.sh [RECORDS [K [N]]]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
records=${1:-100000}
appends=${2:-3}
keys=${3:-10}

cmake --build build/ci -j2 --target LogTraffic >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/ci/tests/LogTraffic make "$work" "$records"

# Bytes read per phase from the files named *.dat.
count() {
    awk '
      /openat\(/ && match($0, /= [0-9]+$/) { fd = substr($0, RSTART + 2) + 0; dat[fd] = ($0 ~ /\.dat"/) }
      match($0, /close\([0-9]+/) { dat[substr($0, RSTART + 6, RLENGTH - 6) + 0] = 0 }
      match($0, /write\(2, "phase [a-z]+/) { phase = substr($0, RSTART + 16, RLENGTH - 16); order[++n] = phase }
      match($0, /(pread64|read)\([0-9]+/) {
        call = substr($0, RSTART, RLENGTH); sub(/.*\(/, "", call)
        if (dat[call + 0] && match($0, /= [0-9]+$/)) { bytes[phase] += substr($0, RSTART + 2); reads[phase]++ }
      }
      END { for (i = 1; i < n; i++) printf "%-12s %10d bytes in %d reads\n", order[i], bytes[order[i]], reads[order[i]] }
    ' "$1"
}

for step in "activation $appends" "keystrokes $keys"; do
    read -r mode number <<<"$step"
    strace -f -e trace=openat,read,pread64,close,write -o "$work/trace" \
        build/ci/tests/LogTraffic "$mode" "$work" "$number" 2>/dev/null >/dev/null
    count "$work/trace"
done
