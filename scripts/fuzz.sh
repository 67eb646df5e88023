#!/usr/bin/env bash
# Fuzzes the readers of the shared folder with libFuzzer.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
#   scripts/fuzz.sh minimize [TARGET|all]
#
# Builds the fuzz preset (clang, ASan, UBSan) in build/fuzz and runs the
# target (every target in turn for "all", the default) for SECONDS each
# (default 300), at the lowest priority. The checked-in corpus
# fuzz/corpus/TARGET/ seeds the run; afterwards the inputs that reached new
# code are merged into it (new edges only, not new hit counts, so that the
# corpus stays small), and every input that crashed, hung (10 s) or
# took too much memory is copied into it too, so that the test command
# replays it from then on. Fix the reader, then commit the corpus.
# Extra libFuzzer options may be given in FUZZ_ARGS.
#
# "minimize" shrinks the corpora: the inputs with names of their own (the
# seeds and the inputs that once broke a reader) stay, and of the inputs the
# fuzzer named by their hash only those that reach code the others do not.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

targets=(path_file shared_config roster criteria_table sound_table results_log server_request
    oneroster_package)
mode=fuzz
if [[ ${1:-} == minimize ]]; then
    mode=minimize
    shift
fi
which=${1:-all}
seconds=${2:-300}
if [[ $which == all ]]; then
    run=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $which "* ]]; then
    run=("$which")
else
    echo "usage: $0 [all|${targets[*]// /|}] [seconds]" >&2
    exit 2
fi

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "${run[@]/#/fuzz_}"

if [[ $mode == minimize ]]; then
    for target in "${run[@]}"; do
        corpus=fuzz/corpus/$target
        kept=build/fuzz/minimized/$target
        rm -rf "$kept"
        mkdir -p "$kept"
        find "$corpus" -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' -exec cp {} "$kept/" \;
        nice -n 19 "build/fuzz/fuzz/fuzz_$target" -merge=1 -use_counters=0 "$kept" "$corpus" >/dev/null 2>&1
        rm -rf "$corpus"
        cp -r "$kept" "$corpus"
        echo "$target: $(find "$corpus" -type f | wc -l) inputs, $(cat "$corpus"/* | wc -c) bytes"
    done
    exit 0
fi

found=0
for target in "${run[@]}"; do
    corpus=fuzz/corpus/$target
    work=build/fuzz/work/$target
    artifacts=build/fuzz/artifacts/$target
    mkdir -p "$corpus" "$work" "$artifacts"
    echo "== $target: ${seconds} s"
    # Findings stop the run of this target; the others still run.
    set +e
    nice -n 19 "build/fuzz/fuzz/fuzz_$target" "$work" "$corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 ${FUZZ_ARGS:-} \
        2>&1 | tee "build/fuzz/$target.log" | grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*broken:)' || true
    set -e
    # Keep what reached new code, minimized against what is checked in.
    nice -n 19 "build/fuzz/fuzz/fuzz_$target" -merge=1 -use_counters=0 "$corpus" "$work" >/dev/null 2>&1 || true
    for f in "$artifacts"/*; do
        [[ -f $f ]] || continue
        echo "   found: $f (kept in $corpus)"
        cp "$f" "$corpus/"
        found=1
    done
    rm -f "$artifacts"/*
done
if [[ $found == 1 ]]; then
    echo "Inputs that broke a reader are in fuzz/corpus: fix the reader and add a test." >&2
    exit 1
fi
