#!/usr/bin/env bash
# Fails when an #include climbs a layer. The layers, from the bottom:
#   platform       the platform services' interfaces and their real versions
#   text           text conventions: CP932, items, numbers, characters, sorted lines
#   startup        program definition, shared state, folders, criteria table
#   drill results auxiliary   (each may use startup and below)
#   roster         (may use results)
#   levelmenu teacher         (may use roster, results and below)
#   setup          the setup check of an installation (any subsystem below)
#   context        the program context and its entry procedures (any core)
#   platform/ui    widgets and widget-backed services (platform and text only)
#   screens        <subsystem>/ui: any core, the context, platform/ui, the
#                  registry (startup/ui/App.h) and the navigation module
#                  (startup/ui/Navigation.h), never another screen's header; a
#                  screen's parts lie beside it, named after it
#   startup/ui/Navigation.cpp and main.cpp: everything
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A allowed=(
    [platform]="platform"
    [text]="platform text"
    [startup]="platform text startup"
    [drill]="platform text startup drill"
    [results]="platform text startup results"
    [auxiliary]="platform text startup auxiliary"
    [roster]="platform text startup results roster"
    [levelmenu]="platform text startup results roster levelmenu"
    [teacher]="platform text startup results roster teacher"
    [setup]="platform text startup drill results roster levelmenu teacher setup"
    [context]="platform text startup drill results auxiliary roster levelmenu teacher setup context"
    [platform/ui]="platform text platform/ui"
)
core="platform text startup drill results auxiliary roster levelmenu teacher setup context"

# The layer of a source file, by its folder below src/.
layer_of() {
    local path=$1 top rest
    top=${path%%/*}
    rest=${path#*/}
    if [[ $path == platform/ui/* ]]; then echo "platform/ui"
    elif [[ $rest == ui/* ]]; then echo "screen"
    elif [[ $path == main.cpp ]]; then echo "main"
    else echo "$top"
    fi
}

failures=0
fail() {
    echo "layering: $1" >&2
    failures=$((failures + 1))
}

while IFS= read -r file; do
    rel=${file#src/}
    from=$(layer_of "$rel")
    [[ $from == main ]] && continue
    while IFS= read -r inc; do
        to=$(layer_of "$inc")
        case $from in
        screen)
            if [[ $to == screen ]]; then
                # Only the registry, the navigation module, the screen's own header
                # and its parts beside it, named after it (seisekitime1GraphPanel.h).
                own=${rel%.*}.h
                part=0
                [[ $inc == "${rel%.*}"?* && ${inc%/*} == "${rel%/*}" ]] && part=1
                if [[ $inc != "$own" && $part == 0 && $inc != startup/ui/App.h &&
                      $inc != startup/ui/Navigation.h && $rel != startup/ui/Navigation.cpp ]]; then
                    fail "$rel includes $inc: screens reach one another through startup/ui/Navigation.h"
                fi
            elif [[ $to == main ]]; then
                fail "$rel includes $inc"
            fi
            ;;
        *)
            ok=0
            for l in ${allowed[$from]:-}; do
                [[ $l == "$to" ]] && ok=1
            done
            if [[ $ok == 0 ]]; then
                if [[ " $core " == *" $from "* && $to == context ]]; then
                    fail "$rel includes $inc: the context sits above the subsystems; pass the parts it holds"
                else
                    fail "$rel ($from) includes $inc ($to)"
                fi
            fi
            ;;
        esac
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

if [[ $failures -gt 0 ]]; then
    echo "layering: $failures include(s) climb a layer" >&2
    exit 1
fi
echo "layering: every include stays within its layer"
