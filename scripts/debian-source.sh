# Debian's source packages of this machine's release, fetched through an apt
# configuration of their own (the system's package lists stay as they are).
# Sourced by scripts/windows-qt.sh and scripts/windows-server-deps.sh.
#   kestrel_source_apt DIR      writes DIR/sources.list.d, fills the array
#                               kestrel_aptopts and updates DIR/lists
#   kestrel_multiarch           this machine's multiarch folder name
#
# The release and the mirrors are this machine's own: the codename from
# /etc/os-release, the mirrors from the system's source lists (both the
# one-line and the deb822 form), deb.debian.org where a list names none.
# The security suite is always in: a stable release's current source of a
# package can live there alone.

# "URI suite" for every Debian entry of the system's source lists.
kestrel_system_sources() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk '$1 == "deb" || $1 == "deb-src" {
                i = 2
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                print $i, $(i + 1)
            }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk 'function flush(   u, s, nu, ns, a, b) {
                 nu = split(uris, a, " "); ns = split(suites, b, " ")
                 for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++) print a[u], b[s]
                 uris = ""; suites = ""
             }
             /^[[:space:]]*$/ { flush(); next }
             /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
             /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
             END { flush() }' "$f"
    done
}

kestrel_codename() {
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -z "$codename" ]; then
        echo "debian-source: /etc/os-release names no release (VERSION_CODENAME)" >&2
        return 1
    fi
    echo "$codename"
}

kestrel_source_apt() {
    local dir=$1 codename mirror security
    codename=$(kestrel_codename)
    mirror=$(kestrel_system_sources | awk -v s="$codename" '$2 == s {print $1; exit}')
    security=$(kestrel_system_sources | awk -v s="$codename-security" '$2 == s {print $1; exit}')
    mirror=${mirror:-http://deb.debian.org/debian}
    security=${security:-http://deb.debian.org/debian-security}
    mkdir -p "$dir/sources.list.d" "$dir/lists/partial"
    cat >"$dir/sources.list.d/src.sources" <<EOF
Types: deb-src
URIs: $mirror
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: $security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    kestrel_aptopts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$dir/sources.list.d"
        -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
    if ! apt-get "${kestrel_aptopts[@]}" update >"$dir/apt-update.log" 2>&1; then
        tail -20 "$dir/apt-update.log" >&2
        echo "debian-source: the source lists of $codename could not be read ($dir/apt-update.log)" >&2
        return 1
    fi
}

kestrel_multiarch() {
    dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch
}

# Checks each FILE against the SHA-256 sums of the signed .dsc; says which
# one does not match and fails.
kestrel_check_dsc() { # dsc file...
    local dsc=$1 f sum
    shift
    for f in "$@"; do
        sum=$(awk -v f="$(basename "$f")" '/^Checksums-Sha256:/ {s = 1; next}
            /^[^ ]/ {s = 0} s && $3 == f {print $1}' "$dsc")
        if [ -z "$sum" ] || [ "$(sha256sum <"$f" | cut -d' ' -f1)" != "$sum" ]; then
            echo "debian-source: $f does not match $dsc" >&2
            return 1
        fi
    done
}
