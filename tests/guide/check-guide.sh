#!/usr/bin/env bash
# The guide's school set up by hand (chapter 13), run as it is written on
# this build: every tool the guide names is built and put in place, the
# school passes the setup check, and the classroom server started by hand as
# chapter 15 says (with its listen option) prints the lines the chapter
# shows. Also: no shell before chapter 1, and one sample school throughout.
#   bash tests/guide/check-guide.sh BUILD_DIR
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
guide=$root/docs/guide.md
work=$(mktemp -d)
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() {
    echo "guide: FAIL $*"
    failures=$((failures + 1))
}

# The ```sh blocks of a chapter, one file each: chapter-N-1.sh, ...
blocks() { # chapter number
    awk -v n="$1" -v out="$work/chapter-$1-" '
        /^## / { inside = ($0 ~ "^## " n "\\.") }
        inside && /^```sh$/ { k++; f = out k ".sh"; next }
        /^```$/ { f = "" }
        inside && f { print > f }' "$guide"
}

if awk '/^## 1\./ { exit } /^```/ { found = 1 } END { exit !found }' "$guide"; then
    fail "a command block stands before chapter 1"
fi
samples=$(grep -o '/srv/[^/ ]*/' "$guide" | sort -u | tr '\n' ' ')
[ "$samples" = "/srv/kestrel/ " ] || fail "more than one sample school: $samples"

blocks 13
blocks 15
school=$work/srv/kestrel
# The build the guide makes in build/release is this one; its sources are the repository's.
mkdir -p "$work/src/build"
ln -s "$build" "$work/src/build/release"
ln -s "$root/server" "$work/src/server"
ln -s "$root/demo" "$work/src/demo"
# The password line is the demo school's, as kestrel-doctor --hash-password makes one.
hash=$(iconv -f CP932 -t UTF-8 "$root/demo/install/共有データ/共通データ.txt" | tr -d '\r' | sed -n 6p)
script=$work/chapter-13.sh
echo "set -e" >"$script"
building=""
for k in $(seq 1 99); do
    f=$work/chapter-13-$k.sh
    [ -f "$f" ] || break
    if grep -q 'cmake --build' "$f"; then
        building=$(cat "$f")
        continue # the build is there
    fi
    grep -q -- '--hash-password' "$f" && continue # asks for the password twice
    grep -q '名簿-utf8.txt' "$f" && continue      # an example of a file of the teacher's
    sed -e "s|/srv/kestrel|$school|g" -e "s|^hash=.*|hash='$hash'|" "$f" >>"$script"
done
# Every tool the guide names is built by chapter 13 and put beside the program.
for tool in $(grep -o 'kestrel-[a-z]*' "$guide" | sort -u); do
    [ -f "$build/server/$tool" ] || [ -n "$(find "$build" -maxdepth 2 -type f -name "$tool" -perm -u+x)" ] ||
        continue # a name that is no program of the build (kestrel-server.service and the like)
    grep -qw -- "$tool" <<<"$building" || fail "chapter 13 does not build $tool"
done
(cd "$work/src" && bash "$script") >"$work/chapter-13.log" 2>&1 || {
    cat "$work/chapter-13.log"
    fail "chapter 13's commands stop"
}
for tool in $(grep -o 'kestrel-[a-z]*' "$guide" | sort -u); do
    [ -n "$(find "$build" -maxdepth 2 -type f -name "$tool" -perm -u+x)" ] || continue
    [ -x "$school/Kestrel/$tool" ] || fail "chapter 13 does not put $tool beside the program"
done
[ -f "$school/Kestrel/www/index.html" ] || fail "chapter 13 does not put the server's page (www/) beside it"
"$school/Kestrel/kestrel-doctor" >"$work/doctor.txt" 2>&1 || {
    cat "$work/doctor.txt"
    fail "the setup check finds an error in chapter 13's school"
}

# Chapter 15: the server started by hand, on this PC's loopback address.
start=$(grep -l -- './kestrel-server --listen' "$work"/chapter-15-*.sh | head -1)
if [ -z "$start" ]; then
    fail "chapter 15 starts no server by hand with --listen"
else
    port=$((20000 + RANDOM % 20000))
    sed -e "s|/srv/kestrel|$school|g" -e "s|--listen [0-9.]*|--listen 127.0.0.1 --port $port --qr $work/qr.png|" \
        "$start" >"$work/start.sh"
    bash "$work/start.sh" >"$work/server.txt" 2>&1 </dev/null &
    server_pid=$!
    for _ in $(seq 50); do
        grep -q 'Ctrl+C' "$work/server.txt" && break
        sleep 0.1
    done
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=""
    shown=$(awk '/^## 15\./ { inside = 1 } inside && /^kestrel-server: 成績の記録/ { print; exit }' "$guide")
    expected=${shown//\/srv\/kestrel/$school}
    grep -qxF -- "$expected" "$work/server.txt" || {
        cat "$work/server.txt"
        fail "the server does not print the guide's line: $shown"
    }
    code=$(sed -n 's/^クラスコード: \([0-9]*\)$/\1/p' "$work/server.txt")
    [ -n "$code" ] || fail "the server prints no class code"
    grep -qxF "  http://127.0.0.1:$port/?code=$code" "$work/server.txt" ||
        fail "the server does not listen where --listen says, with its class code"
fi

if [ $failures -eq 0 ]; then
    echo "guide: chapter 13's school is made as written and chapter 15's server prints what it shows"
fi
[ $failures -eq 0 ]
