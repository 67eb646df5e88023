#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Kestrel
# need. Installs only what is missing, and does nothing when all is there.
#   bash scripts/install-deps.sh            the Linux build and every test
#   bash scripts/install-deps.sh demo       the program, its tools and the demo
#                                           alone (scripts/demo.sh)
#   bash scripts/install-deps.sh windows    and the Windows build (windows.sh)
set -euo pipefail

mode=${1:-}
case $mode in
"" | demo | windows) ;;
*)
    echo "usage: $0 [demo|windows]" >&2
    exit 2
    ;;
esac

# What building the program and its tools and running the demo need.
packages=(
    # build tools
    cmake ninja-build g++ pkg-config
    # libraries
    qt6-base-dev qt6-qpa-plugins libgl-dev libsdl2-dev
    # crypt(3) hashes of the teacher's password
    libcrypt-dev
    # the setup check looks up the fonts the screens use
    libfontconfig-dev
    # fonts the screens are drawn with; the fixed-pitch one draws a plain zero
    fontconfig fonts-ipafont-gothic fonts-ipafont-mincho fonts-morisawa-bizud-gothic
    # the classroom server: HTTP, JSON, and its address as a QR code
    libcpp-httplib-dev nlohmann-json3-dev libqrencode-dev zlib1g-dev
    # a private X server for a machine without a display
    xvfb xauth
)
if [ "$mode" != demo ]; then
    packages+=(
        # the tests, the benchmarks and their sources
        git libgtest-dev libgmock-dev googletest libbenchmark-dev
        # mkpasswd makes the password hashes the tests compare with
        whois
        # key input and screenshots in the private X server
        xdotool x11-utils imagemagick
        # formatting
        clang-format
        # the Debian package and its checks
        dpkg-dev lintian desktop-file-utils appstream
        # fault injection into the system calls of the shared files, and fuzzing
        libfiu-dev fiu-utils clang libclang-rt-14-dev
        # reading printed PDF files back in the tests
        poppler-utils
        # a real school share in the tests: a Samba server in a network namespace
        # of its own, reached through a FUSE SMB client
        samba smbclient smbnetfs fuse3 iproute2 util-linux
        # the tablet page's tests drive a headless Chromium from Node, and
        # WebKit (the iPad's engine) through WebDriver; its web font is made
        # from BIZ UDGothic with fonttools (woff2 needs brotli)
        chromium nodejs webkit2gtk-driver python3-fonttools python3-brotli
    )
fi
if [ "$mode" = windows ]; then
    packages+=(
        # MinGW-w64 with posix threads, Qt's host tools for the Qt built from
        # Debian's source, Wine to run the tests, NSIS for the installer
        g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine64 nsis
        dpkg-dev xz-utils patch bc python3
    )
fi

# Debian's npm, unless the installed Node brings its own.
[ "$mode" = demo ] || command -v npm >/dev/null 2>&1 || packages+=(npm)

# The browser test's npm packages (tests/browser/package-lock.json), put in
# once and again whenever the lock file changes.
npm_packages() {
    [ "$mode" != demo ] || return 0
    local dir tests_dir
    tests_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/browser" && pwd)
    dir=$tests_dir/node_modules
    if [ ! -f "$dir/.package-lock.json" ] || [ "$tests_dir/package-lock.json" -nt "$dir/.package-lock.json" ]; then
        echo "install-deps: npm ci in tests/browser"
        (cd "$tests_dir" && npm ci --no-audit --no-fund --loglevel=error)
    fi
}

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: this script needs a Debian-based system (dpkg and apt-get)." >&2
    exit 1
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
    [[ $status == ii* ]] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages are installed."
    npm_packages
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo=(sudo)
    else
        echo "install-deps: missing packages: ${missing[*]}" >&2
        echo "install-deps: run this script as root, or install sudo." >&2
        exit 1
    fi
fi

echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
npm_packages
