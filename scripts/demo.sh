#!/usr/bin/env bash
# Builds Kestrel, lays out a demo installation of a school under build/demo
# and starts the program from its program folder:
#
#   build/demo/パスデータ.txt        path file: the shared folder and nine more items
#   build/demo/Kestrel/kestrel      the program folder and the program, with the
#                                   setup check kestrel-doctor, the CSV export
#                                   kestrel-csv, the roster tool kestrel-roster and
#                                   the classroom server kestrel-server (with its
#                                   page in www/) beside it
#   build/demo/起動/                 the program menu, プログラムメニューc.exe
#   build/demo/共有データ/           the shared folder (configuration, roster,
#                                   sounds, and the data folder Kestrel/)
#
# The installation is made afresh on every run; only the results log of the
# previous demo installation is carried over, so earlier runs stay on record.
# A first installation gets a results log with a few months of the demo
# class's runs, dated up to today, from the demo tool.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# What the program and the demo need, not the test stack.
bash scripts/install-deps.sh demo

build=build/release
bash scripts/configure.sh release -DKESTREL_BUILD_BENCH=OFF
cmake --build "$build" --target kestrel kestrel-csv kestrel-doctor kestrel-roster kestrel-server programmenu make_demo -j2

demo="$root/build/demo"
log="$demo/共有データ/Kestrel/成績累積データ.dat"
kept="$root/build/demo-results-kept.dat"
# The log is set aside before the old copy is removed; a run that was cut
# short in between finds it here next time.
[ -f "$log" ] && cp -p "$log" "$kept"
rm -rf "$demo"
# The kept log goes back first: the demo tool makes a history only where
# there is no log yet.
if [ -f "$kept" ]; then
    mkdir -p "$(dirname "$log")"
    mv "$kept" "$log"
    echo "demo: kept the results log of the previous demo installation."
fi
"$build/tools/make_demo" "$root/demo/install" "$demo"
mkdir -p "$demo/Kestrel"
cp "$build/src/kestrel" "$demo/Kestrel/kestrel"
cp "$build/exporter/kestrel-csv" "$build/doctor/kestrel-doctor" "$build/rostertool/kestrel-roster" \
    "$build/server/kestrel-server" "$demo/Kestrel/"
cp -R "$build/server/www" "$demo/Kestrel/www"
mkdir -p "$demo/起動"
cp "$build/programmenu/プログラムメニューc.exe" "$demo/起動/プログラムメニューc.exe"
echo "demo: installed in $demo"
echo "demo: for tablets and laptops, start the classroom server in another terminal:"
echo "        cd \"$demo/Kestrel\" && ./kestrel-server --listen <this PC's address>"
echo "      and open the address it prints (http://<this PC>:8080/) in their browsers."

# Without any sound device the answer cues fail and, after four failures,
# end the program; a demo on such a machine plays its sounds silently.
if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -e /dev/snd ] &&
    [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] &&
    [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ]; then
    export SDL_AUDIODRIVER=dummy
    echo "demo: no sound device found; sounds play silently (SDL_AUDIODRIVER=dummy)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat <<MSG
demo: Kestrel is a desktop program and needs a display, but DISPLAY is not set.
      Run it under a virtual X server, for example:
        cd "$demo/Kestrel" && ${SDL_AUDIODRIVER:+SDL_AUDIODRIVER=$SDL_AUDIODRIVER }xvfb-run -a -s "-screen 0 1024x768x24" ./kestrel
MSG
    shot="$root/../shared/tools/screenshot-x"
    if [ -x "$shot" ]; then
        shot=$(cd "$(dirname "$shot")" && pwd)/screenshot-x
        echo "      or save a screenshot of it after five seconds:"
        echo "        (cd \"$demo/Kestrel\" && ${SDL_AUDIODRIVER:+SDL_AUDIODRIVER=$SDL_AUDIODRIVER }\"$shot\" /tmp/kestrel.png 5 -- ./kestrel)"
    fi
    exit 0
fi

cd "$demo/Kestrel"
exec ./kestrel
