#!/usr/bin/env bash
# A real school share for the tests: a Samba server of the test's own, its
# share mounted twice through smbnetfs (a FUSE SMB client), each mount
# standing for one PC. Runs a command with the two mounts, then unmounts and
# stops the server, also when the command fails or this script is stopped.
#
#   bash samba-share.sh WORKDIR -- COMMAND [ARGUMENT...]
#
# The server runs in a network namespace of its own, on a loopback that no
# other program sees, with its configuration, state and share below
# WORKDIR: it never meets a server this machine runs. The smbnetfs clients
# join that namespace's network only; their mounts are in this machine's
# file system. COMMAND gets
#   KESTREL_SMB_PC1, KESTREL_SMB_PC2  the share, through the first and the second mount
#   KESTREL_SMB_SERVER                the share's folder on the server
# Exit status: COMMAND's, or 77 (skipped) with the reason when this machine
# cannot mount a FUSE file system or make a network namespace.
set -uo pipefail

usage() {
    echo "usage: $0 WORKDIR -- COMMAND [ARGUMENT...]" >&2
    exit 2
}
[ $# -ge 3 ] && [ "$2" = "--" ] || usage
work=$1
shift 2

skip() {
    echo "samba-share: skipped: $*"
    exit 77
}
[ -e /dev/fuse ] || skip "this machine has no /dev/fuse"
[ "$(id -u)" -eq 0 ] || skip "a network namespace of the server's own needs root"
for tool in smbd smbnetfs unshare nsenter ip; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/install-deps.sh)"
done
fusermount=$(command -v fusermount3 || command -v fusermount) || skip "fusermount is not installed"

mkdir -p "$work"
work=$(cd "$work" && pwd)
share=$work/share
server_pid_file=$work/server.pid

unmount_all() {
    for pc in pc1 pc2; do
        if grep -qs " $work/$pc " /proc/self/mountinfo; then
            "$fusermount" -u "$work/$pc" 2>/dev/null || "$fusermount" -uz "$work/$pc" 2>/dev/null
        fi
    done
}

stop_server() {
    [ -f "$server_pid_file" ] || return 0
    local pid
    pid=$(cat "$server_pid_file")
    # The server is the first process of a process namespace of its own:
    # when it ends, every process it started ends with it.
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    fi
    rm -f "$server_pid_file"
}

command_pid=""
cleanup() {
    [ -n "$command_pid" ] && kill -TERM "$command_pid" 2>/dev/null && wait "$command_pid"
    unmount_all
    stop_server
}
# What an earlier run left when it was killed, then this run's on any exit.
cleanup
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

rm -rf "$share" "$work/state"
mkdir -p "$share" "$work"/{state,cache,lock,pid,private,ncalrpc,log,pc1,pc2}
chmod 0777 "$share"

cat >"$work/smb.conf" <<EOF
[global]
  server role = standalone server
  workgroup = KESTREL
  netbios name = KESTRELTEST
  interfaces = lo
  bind interfaces only = yes
  disable netbios = yes
  server min protocol = SMB2
  map to guest = Bad User
  guest account = root
  state directory = $work/state
  cache directory = $work/cache
  lock directory = $work/lock
  pid directory = $work/pid
  private dir = $work/private
  ncalrpc dir = $work/ncalrpc
  log file = $work/log/smbd.log
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
[kyouyuu]
  path = $share
  read only = no
  guest ok = yes
  force user = root
EOF

# A network and a process namespace of the server's own; `--kill-child`
# ends the server when this script's unshare ends.
unshare --net --pid --fork --kill-child \
    bash -c 'ip link set lo up && exec smbd --foreground -s "$1"' \
    server "$work/smb.conf" >"$work/log/server.out" 2>&1 &
unshare_pid=$!
server=""
for _ in $(seq 100); do
    server=$(cat "/proc/$unshare_pid/task/$unshare_pid/children" 2>/dev/null | awk '{print $1}')
    [ -n "$server" ] && break
    sleep 0.05
done
if [ -z "$server" ]; then
    echo "samba-share: the server did not start:" >&2
    cat "$work/log/server.out" >&2
    exit 1
fi
echo "$server" >"$server_pid_file"

in_server_net() {
    nsenter --net="/proc/$server/ns/net" "$@"
}

# Each client has a home of its own for its configuration and log.
for pc in pc1 pc2; do
    home=$work/home-$pc
    mkdir -p "$home/.smb"
    printf '[global]\n  workgroup = KESTREL\n  client min protocol = SMB2\n  disable netbios = yes\n' \
        >"$home/.smb/smb.conf"
    printf 'log_file "%s"\n' "$work/log/smbnetfs-$pc.log" >"$home/.smb/smbnetfs.conf"
    : >"$home/.smb/smbnetfs.auth"
    : >"$home/.smb/smbnetfs.host"
done

# The server listens once its port answers.
ready=""
for _ in $(seq 100); do
    if in_server_net bash -c 'exec 3<>/dev/tcp/127.0.0.1/445' 2>/dev/null; then
        ready=yes
        break
    fi
    sleep 0.05
done
if [ -z "$ready" ]; then
    echo "samba-share: the server does not answer on its port:" >&2
    cat "$work/log/server.out" "$work/log/smbd.log" >&2 2>/dev/null
    exit 1
fi

for pc in pc1 pc2; do
    if ! HOME=$work/home-$pc in_server_net smbnetfs "$work/$pc"; then
        echo "samba-share: smbnetfs could not mount $work/$pc" >&2
        exit 1
    fi
done

export KESTREL_SMB_PC1=$work/pc1/127.0.0.1/kyouyuu
export KESTREL_SMB_PC2=$work/pc2/127.0.0.1/kyouyuu
export KESTREL_SMB_SERVER=$share
for dir in "$KESTREL_SMB_PC1" "$KESTREL_SMB_PC2"; do
    ok=""
    for _ in $(seq 50); do
        if [ -d "$dir" ]; then
            ok=yes
            break
        fi
        sleep 0.1
    done
    if [ -z "$ok" ]; then
        echo "samba-share: the share does not show through $dir" >&2
        cat "$work"/log/smbnetfs-*.log >&2 2>/dev/null
        exit 1
    fi
done

# In the background, so that a signal to this script is taken at once.
"$@" &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
exit "$status"
