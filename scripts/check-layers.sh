#!/usr/bin/env bash
# Fails when an #include climbs a layer. The layers, from the bottom:
#   platform       the platform services' interfaces and their real versions
#   text           text conventions: CP932, items, numbers, characters, sorted lines
#   startup        program definition, shared state, folders, criteria table
#   sound          the sound table and its cues (startup and below)
#   drill          (may use sound)
#   results auxiliary         (each may use startup and below)
#   roster         (may use results)
#   levelmenu teacher         (may use roster, results and below)
#   setup          the setup check of an installation (any subsystem below)
#   school         the school and the use cases every front runs (any
#                  subsystem below but setup)
#   context        the desktop's context and its entry procedures (any core)
#   platform/ui    widgets and widget-backed services (platform and text only)
#   screens        <subsystem>/ui: any core, the context, platform/ui, the
#                  registry (app/App.h) and the navigation module
#                  (app/Navigation.h), never another screen's header; a
#                  screen's parts lie beside it, named after it
#   app            the application's shell, and main.cpp: everything
#
# The programs beside the desktop program are held to the same layers:
#   server/        the classroom server: the core but the desktop's context
#   doctor/ exporter/ rostertool/   the command-line tools: setup and below
#   programmenu/   the program menu: platform, text, the program definition and
#                  the installed programs' list, widgets and its window
#   tools/         the demo maker and other tools: any core; tools/guide,
#                  the screenshot tour, everything
# A tool's own headers are included by their bare names.
#
# Only the platform layer knows the operating system. Its implementation
# files are named after their system (Posix*.cpp and .h, later Win32*), and
# src/platform/ui/ShutdownSignal.* is one; the command-line tools keep their
# system calls in files named the same way. Only those files include the
# system's headers or use its types and errno, and only they, main.cpp and
# the tools' mains name a system's implementation ("platform/Posix*.h").
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A allowed=(
    [platform]="platform"
    [text]="platform text"
    [startup]="platform text startup"
    [sound]="platform text startup sound"
    [drill]="platform text startup sound drill"
    [results]="platform text startup results"
    [auxiliary]="platform text startup auxiliary"
    [roster]="platform text startup results roster"
    [levelmenu]="platform text startup results roster levelmenu"
    [teacher]="platform text startup results roster teacher"
    [setup]="platform text startup sound drill results roster levelmenu teacher setup"
    [school]="platform text startup sound drill results roster levelmenu teacher school"
    [context]="platform text startup sound drill results auxiliary roster levelmenu teacher setup school context"
    [platform/ui]="platform text platform/ui"
    [server]="platform text startup sound drill results roster levelmenu teacher setup school own"
    [doctor]="platform text startup sound drill results roster levelmenu teacher setup own"
    [exporter]="platform text startup sound drill results roster levelmenu teacher setup own"
    [rostertool]="platform text startup sound drill results roster levelmenu teacher setup own"
    [programmenu]="platform text startup results roster platform/ui roster/ui own"
    [tools]="platform text startup sound drill results auxiliary roster levelmenu teacher setup school context own"
)
core="platform text startup sound drill results auxiliary roster levelmenu teacher setup school context"

# The layer of a source file, by its folder below src/, and of an include.
layer_of() {
    local path=$1 top rest
    top=${path%%/*}
    rest=${path#*/}
    if [[ $path == platform/ui/* ]]; then echo "platform/ui"
    elif [[ $rest == ui/* ]]; then echo "screen"
    elif [[ $path == main.cpp || $top == app ]]; then echo "main"
    elif [[ $path != */* ]]; then echo "own"
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
                if [[ $inc != "$own" && $part == 0 ]]; then
                    fail "$rel includes $inc: screens reach one another through app/Navigation.h"
                fi
            elif [[ $to == main && $inc != app/App.h && $inc != app/Navigation.h ]]; then
                fail "$rel includes $inc: a screen reaches the shell only through app/App.h and app/Navigation.h"
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

# The programs beside the desktop program.
while IFS= read -r file; do
    from=${file%%/*}
    [[ $file == tools/guide/* ]] && continue
    while IFS= read -r inc; do
        to=$(layer_of "$inc")
        [[ $to == screen || $to == main ]] && to=${inc%/*}
        ok=0
        for l in ${allowed[$from]:-}; do
            [[ $l == "$to" ]] && ok=1
        done
        [[ $ok == 1 ]] || fail "$file ($from) includes $inc"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find server doctor exporter rostertool programmenu tools \( -name '*.h' -o -name '*.cpp' \) | sort)

# The files that may know the operating system.
is_system_file() {
    local file=$1 name=${1##*/}
    case $file in
    src/platform/ui/ShutdownSignal.h | src/platform/ui/ShutdownSignal.cpp) return 0 ;;
    src/platform/* | doctor/* | exporter/* | rostertool/* | programmenu/* | tools/* | server/*)
        [[ $name == Posix* || $name == Win32* ]] && return 0 ;;
    esac
    return 1
}
tools="doctor exporter rostertool programmenu tools server"
os_headers='unistd\.h|fcntl\.h|sys/.*|iconv\.h|crypt\.h|fontconfig/.*|mntent\.h|pwd\.h|grp\.h|termios\.h|signal\.h|spawn\.h|dirent\.h|poll\.h|dlfcn\.h|pthread\.h|sched\.h|syslog\.h|utime\.h|wait\.h|netdb\.h|netinet/.*|arpa/.*|langinfo\.h|libgen\.h|fnmatch\.h|glob\.h|ftw\.h|errno\.h|linux/.*|windows\.h|winbase\.h|winsock2?\.h|ws2tcpip\.h|shlobj\.h|shellapi\.h|mmsystem\.h|io\.h|direct\.h|process\.h|share\.h|wincrypt\.h|bcrypt\.h|winioctl\.h|aclapi\.h|lmcons\.h'
system_words='errno|mode_t|off_t|ssize_t|uid_t|gid_t|pid_t|struct[[:space:]]+stat'
system_failures=0
system_fail() {
    echo "system: $1" >&2
    system_failures=$((system_failures + 1))
}
while IFS= read -r file; do
    is_system_file "$file" && continue
    while IFS= read -r inc; do
        if [[ $inc =~ ^($os_headers)$ ]]; then
            system_fail "$file includes <$inc>: the system's headers belong in a Posix* (or Win32*) file of the platform layer"
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
    if [[ $file != src/main.cpp && $file == src/* ]]; then
        while IFS= read -r inc; do
            system_fail "$file includes \"$inc\": only main chooses a system's implementation"
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\(platform\/\(.*\/\)\{0,1\}\(Posix\|Win32\)[^"]*\)".*/\1/p' "$file")
    fi
    while IFS= read -r hit; do
        system_fail "$file:$hit: the system's types and errno belong in a Posix* (or Win32*) file"
    done < <(grep -nE "(^|[^[:alnum:]_])($system_words)([^[:alnum:]_]|$)" "$file" |
        grep -vE '^[0-9]+:[[:space:]]*//' || true)
done < <(find src $tools \( -name '*.h' -o -name '*.cpp' \) | sort)

if [[ $system_failures -gt 0 ]]; then
    echo "system: $system_failures place(s) know the operating system outside its files" >&2
    failures=$((failures + system_failures))
fi

if [[ $failures -gt 0 ]]; then
    echo "layering: $failures include(s) climb a layer" >&2
    exit 1
fi
echo "layering: every include stays within its layer, and only the platform's system files know the system"
