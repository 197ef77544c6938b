#!/usr/bin/env bash
# DCC file transfer throughput over loopback: Kest sending to irssi, irssi
# sending to Kest, and irssi sending to irssi as the yardstick, all through
# one private IRC server in one run. Prints MB/s and the ratios to
# irssi-to-irssi.
#   bench/dcc_throughput.sh [size in MiB (default 512)] [path to kest (default build/kest)]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
size_mib="${1:-512}"
kest="${2:-$here/build/kest}"
for p in ngircd irssi tmux; do command -v "$p" >/dev/null || command -v "/usr/sbin/$p" >/dev/null || { echo "needs $p" >&2; exit 1; }; done
[ -x "$kest" ] || { echo "no program at $kest (build it first)" >&2; exit 1; }

work="$(mktemp -d /tmp/kest-dccbench.XXXXXX)"
sock="kestdccbench$$"
cleanup() {
    tmux -L "$sock" kill-server 2>/dev/null || true
    [ -n "${kest_pid:-}" ] && kill "$kest_pid" 2>/dev/null || true
    [ -n "${ircd_pid:-}" ] && kill "$ircd_pid" 2>/dev/null || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/ircd"
touch "$work/ircd/motd"
cat > "$work/ircd/ngircd.conf" <<CONF
[Global]
Name = bench.local
Info = DCC bench
Listen = 127.0.0.1
Ports = $port
MotdFile = $work/ircd/motd
PidFile = $work/ircd/ngircd.pid
[Limits]
MaxConnectionsIP = 0
[Options]
PAM = no
Ident = no
DNS = no
RequireAuthPing = no
CONF
/usr/sbin/ngircd -n -f "$work/ircd/ngircd.conf" > "$work/ircd/log" 2>&1 &
ircd_pid=$!
sleep 1

# irssi in the tmux server, one window per nick, each with its own home.
start_irssi() {
    local nick="$1" home="$work/$1"
    mkdir -p "$home/downloads"
    cat > "$home/config" <<CONF
settings = {
  core = { real_name = "bench"; user_name = "$nick"; nick = "$nick"; settings_autosave = "no"; };
  "irc/dcc" = { dcc_download_path = "$home/downloads"; dcc_own_ip = "127.0.0.1"; dcc_port = "20000 30000";
                dcc_autoget = "yes"; dcc_autoget_max_size = "0"; dcc_timeout = "600"; };
};
CONF
    if tmux -L "$sock" has-session 2>/dev/null; then
        tmux -L "$sock" new-window -d -n "$nick" "irssi --home=$home -c 127.0.0.1 -p $port -n $nick"
    else
        tmux -L "$sock" -f /dev/null new-session -d -s bench -n "$nick" -x 200 -y 50 "irssi --home=$home -c 127.0.0.1 -p $port -n $nick"
    fi
}
irssi_say() { tmux -L "$sock" send-keys -t "bench:$1" -l "$2"; tmux -L "$sock" send-keys -t "bench:$1" Enter; }
start_irssi ira
start_irssi irb

# Kest with a script that runs what the control nick tells it.
mkdir -p "$work/kest/downloads"
cat > "$work/kest/run.kst" <<'KST'
on *:TEXT:run *:?:if ($nick == ira) $2-
KST
cat > "$work/kest/kest.ini" <<INI
[kest]
nick=kbench
user=Bench
email=bench@example.org
[rfiles]
n0=run.kst
[options]
n0=1,,,,,,,,,,,,,,1,2
[extensions]
n0=defaultEXTDIR:downloads/
INI
QT_QPA_PLATFORM=offscreen "$kest" -r"$work/kest/" -n kbench -s "127.0.0.1:$port" > "$work/kest/out.log" 2>&1 &
kest_pid=$!
sleep 4

file="$work/payload.bin"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$file"
bytes=$(stat -c %s "$file")

# Waits until the file reaches the size; prints the seconds taken.
wait_for() {
    local path="$1" start="$2"
    local deadline=$((SECONDS + 600))
    while [ "$(stat -c %s "$path" 2>/dev/null || echo 0)" -lt "$bytes" ]; do
        [ $SECONDS -lt $deadline ] || { echo "timed out waiting for $path" >&2; exit 1; }
        sleep 0.05
    done
    python3 -c "import time; print(time.time() - $start)"
}
now() { python3 -c 'import time; print(time.time())'; }

cp "$file" "$work/a.bin"; cp "$file" "$work/b.bin"; cp "$file" "$work/c.bin"
t0=$(now); irssi_say ira "/dcc send irb $work/a.bin"
s_irssi=$(wait_for "$work/irb/downloads/a.bin" "$t0")
t0=$(now); irssi_say ira "/msg kbench run dcc send -n irb $work/b.bin"
s_kest_send=$(wait_for "$work/irb/downloads/b.bin" "$t0")
t0=$(now); irssi_say ira "/dcc send kbench $work/c.bin"
s_kest_get=$(wait_for "$work/kest/downloads/c.bin" "$t0")

python3 - "$bytes" "$s_irssi" "$s_kest_send" "$s_kest_get" <<'PY'
import sys
b, irssi, ksend, kget = int(sys.argv[1]), *map(float, sys.argv[2:])
mb = lambda s: b / s / 1e6
print(f"{b/1048576:.0f} MiB over loopback")
print(f"irssi -> irssi : {mb(irssi):8.1f} MB/s")
print(f"Kest  -> irssi : {mb(ksend):8.1f} MB/s  ({mb(ksend)/mb(irssi):.2f} x irssi -> irssi)")
print(f"irssi -> Kest  : {mb(kget):8.1f} MB/s  ({mb(kget)/mb(irssi):.2f} x irssi -> irssi)")
PY
