#!/usr/bin/env bash
# Runs the project on a machine that has nothing but what its own scripts
# install: a minimal Debian 12 made with debootstrap in a folder, a fresh
# clone of a branch of this repository copied into it (committed work only),
# and a command run there as root, as CI runs it. Each part is timed, and
# the parts of .ci/run are timed from its output.
#
#   bash scripts/clean-machine.sh               .ci/run: the Linux suite, then the
#                                               Windows pass (must run, not be skipped)
#   bash scripts/clean-machine.sh demo          the README's demo command (no display:
#                                               it builds, lays out the demo and says how
#                                               to run it)
#   bash scripts/clean-machine.sh shell         a shell in the clean machine
#   bash scripts/clean-machine.sh run COMMAND…  a command in the clone
#
# Settings (environment):
#   KESTREL_CLEAN_DIR     where the machine is made (/var/tmp/kestrel-clean); its
#                         system is made anew for every run
#   KESTREL_CLEAN_BRANCH  the branch cloned (the one checked out here)
#   KESTREL_CLEAN_KEEP=1  keep the machine afterwards (to look at its build/)
#   KESTREL_CLEAN_REUSE_BASE=1  start from the bare system debootstrap made last
#                         time (its tarball), not a new one: saves minutes
#                         when trying the script, not for the timed run
#   KESTREL_CLEAN_QT=1    use this machine's Qt for Windows (/var/cache/kestrel-windows)
#                         instead of building it: for trials, not for the timed run
#   KESTREL_CLEAN_BUDGET  the minutes .ci/run may take (75)
# Needs root (debootstrap, chroot, mounts); installs debootstrap when missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=debian-source.sh
source "$root/scripts/debian-source.sh"
dir=${KESTREL_CLEAN_DIR:-/var/tmp/kestrel-clean}
branch=${KESTREL_CLEAN_BRANCH:-$(git -C "$root" rev-parse --abbrev-ref HEAD)}
budget=${KESTREL_CLEAN_BUDGET:-75}
what=${1:-ci}
[ $# -gt 0 ] && shift
system=$dir/system
log=$dir/run.log
times=$dir/times.txt

say() { echo "clean-machine: $*"; }
if [ "$(id -u)" -ne 0 ]; then
    echo "clean-machine: debootstrap, chroot and the mounts need root" >&2
    exit 1
fi
case $what in
ci | demo | shell | run) ;;
*)
    echo "usage: $0 [ci|demo|shell|run COMMAND...]" >&2
    exit 2
    ;;
esac

mkdir -p "$dir"
: >"$times"
mark() { # what, seconds
    printf '%-58s %6d s  (%d min)\n' "$1" "$2" $((($2 + 30) / 60)) | tee -a "$times"
}

# Every process that runs in the machine (Xvfb, Wine's server, Samba), ended
# by its id; then the mounts, deepest first.
stop_machine() {
    local pid again=1
    for _ in 1 2 3; do
        again=0
        for pid in $(ls /proc | grep -E '^[0-9]+$'); do
            [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$system" ] || continue
            kill -TERM "$pid" 2>/dev/null && again=1
        done
        [ $again -eq 1 ] || break
        sleep 2
    done
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$system" ] && kill -KILL "$pid" 2>/dev/null
    done
    { grep -o " $system[^ ]*" /proc/self/mountinfo || true; } | sort -r | while read -r m; do
        umount -l "$m" 2>/dev/null || true
    done
    return 0
}
# Removes the machine's files, never through a mount still in place (a bind
# mount of this machine's own folders would be removed with it).
remove_machine() {
    [ -d "$system" ] || return 0
    if grep -q " $system[/ ]" /proc/self/mountinfo; then
        say "mounts below $system are still in place; it is not removed"
        return 1
    fi
    rm -rf --one-file-system "$system"
}
cleanup() {
    stop_machine
    [ "${KESTREL_CLEAN_KEEP:-0}" = 1 ] || remove_machine
}
trap cleanup EXIT

if ! command -v debootstrap >/dev/null 2>&1; then
    say "installing debootstrap"
    apt-get update >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap >/dev/null
fi

# 1. The bare system: Debian's minimal variant of this machine's release,
# from this machine's mirror, with the source lists a new installation has
# (main, updates and the security suite).
stop_machine
remove_machine
codename=$(kestrel_codename)
mirror=$(kestrel_system_sources | awk -v s="$codename" '$2 == s {print $1; exit}')
security=$(kestrel_system_sources | awk -v s="$codename-security" '$2 == s {print $1; exit}')
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}
start=$(date +%s)
if [ "${KESTREL_CLEAN_REUSE_BASE:-0}" = 1 ] && [ -f "$dir/base.tar" ]; then
    mkdir -p "$system"
    tar -xf "$dir/base.tar" -C "$system"
    mark "the bare system, from the last one's tarball" $(($(date +%s) - start))
else
    debootstrap --variant=minbase "$codename" "$system" "$mirror" >"$dir/debootstrap.log" 2>&1 || {
        tail -20 "$dir/debootstrap.log" >&2
        exit 1
    }
    tar -cf "$dir/base.tar" -C "$system" .
    mark "debootstrap: a minimal $codename" $(($(date +%s) - start))
fi
cat >"$system/etc/apt/sources.list" <<EOF
deb $mirror $codename main
deb $mirror $codename-updates main
deb $security $codename-security main
EOF
cp /etc/resolv.conf "$system/etc/resolv.conf"
echo kestrel-clean >"$system/etc/hostname"

# 2. The machine's file systems, as a booted system has them: its root a
# mount of its own, so that the mount table seen inside has one for "/" (the
# start-up's check of the data folder's mount looks a folder up there).
mount --bind "$system" "$system"
mount -t proc proc "$system/proc"
mount -t sysfs sysfs "$system/sys"
mount --rbind /dev "$system/dev"
mount --make-rslave "$system/dev"
mount -t tmpfs -o mode=1777 tmpfs "$system/dev/shm"
mount -t tmpfs -o mode=755 tmpfs "$system/run"
if [ "${KESTREL_CLEAN_QT:-0}" = 1 ] && [ -d /var/cache/kestrel-windows ]; then
    mkdir -p "$system/var/cache/kestrel-windows"
    mount --bind /var/cache/kestrel-windows "$system/var/cache/kestrel-windows"
    say "Qt for Windows is this machine's (KESTREL_CLEAN_QT=1): its build is not timed"
fi

# 3. A fresh clone of the branch, and shared/ beside it as CI lays it.
start=$(date +%s)
git clone --quiet --branch "$branch" --single-branch "file://$root" "$system/root/kestrel"
if [ -d "$root/../shared" ]; then
    cp -r "$root/../shared" "$system/root/shared"
    chmod -R a-w "$system/root/shared"
fi
mark "a fresh clone of $branch ($(git -C "$system/root/kestrel" rev-parse --short HEAD))" \
    $(($(date +%s) - start))

# The certificate authorities of this machine's network (a proxy of its own
# may sign the registries' certificates): the network's, not a package's, so
# the clean machine trusts them as this one does.
host_ca=()
if [ -f "${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}" ]; then
    mkdir -p "$system/etc/ssl"
    cp "${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}" "$system/etc/ssl/network-ca.crt"
    host_ca=(NODE_EXTRA_CA_CERTS=/etc/ssl/network-ca.crt)
fi
inside() { # command line, run in the clone
    chroot "$system" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 CI=true \
        "${host_ca[@]}" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c "cd /root/kestrel && $1"
}
# Each line of output with the seconds since the start, for the parts' times.
stamped() {
    local t0 line
    t0=$(date +%s)
    while IFS= read -r line; do
        printf '%6d %s\n' $(($(date +%s) - t0)) "$line"
    done
}
# The seconds at the first line matching a pattern after a given second.
at() { # pattern [after]
    awk -v p="$1" -v after="${2:--1}" '$1 > after && $0 ~ p {print $1; exit}' "$log"
}

case $what in
shell)
    chroot "$system" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -l
    exit 0
    ;;
run)
    start=$(date +%s)
    status=0
    inside "$*" </dev/null 2>&1 | stamped | tee "$log" || status=${PIPESTATUS[0]}
    mark "the command" $(($(date +%s) - start))
    exit "$status"
    ;;
demo)
    start=$(date +%s)
    status=0
    inside "bash scripts/demo.sh" </dev/null 2>&1 | stamped | tee "$log" || status=${PIPESTATUS[0]}
    mark "bash scripts/demo.sh (installs, builds, lays out the demo)" $(($(date +%s) - start))
    if [ "$status" -eq 0 ] && [ ! -x "$system/root/kestrel/build/demo/Kestrel/kestrel" ]; then
        say "demo.sh succeeded but laid out no demo program"
        status=1
    fi
    # What the test stack alone would have brought is not there.
    for p in chromium samba wine64; do
        if chroot "$system" dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii'; then
            say "demo.sh installed $p, which the demo does not need"
            status=1
        fi
    done
    exit "$status"
    ;;
esac

# 4. .ci/run, as CI runs it: no standard input, CI=true.
say "bash .ci/run in the clean machine (log: $log)"
start=$(date +%s)
status=0
inside "bash .ci/run" </dev/null 2>&1 | stamped | tee "$log" >/dev/null || status=${PIPESTATUS[0]}
total=$(($(date +%s) - start))

# The parts, from the output's stamps.
part() { # what, from, to
    [ -n "$2" ] && [ -n "$3" ] && mark "  $1" $(($3 - $2))
}
deps_done=$(at 'layering:')
ci_done=$(at 'tests passed|tests failed')
asan_done=$(at 'tests passed|tests failed' "${ci_done:-0}")
win_start=$(at 'windows: |windows-qt: |windows-server-deps: ' "${asan_done:-0}")
qt_done=$(at 'windows-qt: built in|windows-qt: Qt for Windows is in' "${asan_done:-0}")
win_built=$(at 'windows: the program, its tools and the tests built in')
suite_done=$(at 'windows: the suite ran under Wine in')
mixed_done=$(at 'windows-core: mixed classroom in|mixed classroom of Linux and Windows PCs failed')
packaged=$(at 'windows: packaged in')
checked=$(at 'check-installer: [0-9]+ of [0-9]+ checks passed')
part "install-deps.sh (the Linux packages)" 0 "$deps_done"
part "the ci build and its suite" "$deps_done" "$ci_done"
part "the asan build and its suite" "$ci_done" "$asan_done"
part "Windows: packages and Qt for Windows" "$asan_done" "$qt_done"
part "Windows: the program, its tools and the tests" "$qt_done" "$win_built"
part "Windows: the suite under Wine" "$win_built" "$suite_done"
part "Windows: the mixed classroom" "$suite_done" "$mixed_done"
part "Windows: the installer and the zip" "$mixed_done" "$packaged"
part "Windows: the installer's check" "$packaged" "$checked"
mark "bash .ci/run, all of it (exit status $status)" "$total"
grep -hE 'tests passed|tests failed|checks passed|the Windows pass did not run' "$log" |
    sed 's/^ *[0-9]* /clean-machine:   /'

if [ -z "$win_start" ] || grep -q 'the Windows pass did not run' "$log"; then
    say "FAIL: the Windows pass did not run on the clean machine"
    status=1
fi
if [ "$total" -gt $((budget * 60)) ]; then
    say "FAIL: .ci/run took $((total / 60)) min, more than $budget"
    status=1
fi
say "times: $times"
exit "$status"
