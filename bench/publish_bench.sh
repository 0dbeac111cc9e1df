#!/usr/bin/env bash
# Compares a first publish by qadora-publish with lftp (mirror -R --parallel=1 and 4) and
# rclone (copy, 4 transfers), by FTP and by SFTP, to servers started here on 127.0.0.1
# (pyftpdlib, as the tests use it, and OpenSSH's sshd): the 32,767-record site (32,808 files)
# over loopback, and a part of it over a 20 ms round trip through bench/delayproxy.py. Each
# run goes to a fresh folder; three rounds; prints every run, then the medians (wall time and
# the client's CPU time, user + system) and the ratios to qadora-publish. Also: qadora-publish
# again with nothing changed and with one page changed, over loopback.
#
# Usage: bench/publish_bench.sh [BUILD_DIR]
# Environment: ROUNDS (3), RTT_MS (20), DELAY_FILES (500: files published over the slow link),
#              ONLY (e.g. "ftp" or "sftp"), LINKS ("loopback 20ms"), FILES (all: Q&A pages over
#              loopback, for a quick look), RCLONE (1; 0 leaves rclone out)
set -euo pipefail

src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
rounds="${ROUNDS:-3}"
rtt="${RTT_MS:-20}"
delay_files="${DELAY_FILES:-500}"
protocols="${ONLY:-ftp sftp}"
links="${LINKS:-loopback ${rtt}ms}"
publish="$build/app/qadora-publish"

# The peers are needed here only, not to build or test Qadora.
if ! command -v lftp >/dev/null || ! command -v rclone >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get install -y -qq --no-install-recommends lftp rclone >/dev/null
fi

work="$(mktemp -d /tmp/qadora-publish-bench-XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "making the site..." >&2
"$build/bench/qadora_bench" makesite "$work/site" >/dev/null 2>&1
cd "$work/site"
pages=(qa*.html)
if [ -n "${FILES:-}" ]; then # a quick look: fewer pages over loopback too
    rm -f "${pages[@]:$FILES}"
fi
mkdir -p "$work/small"
# The slow link's site: the index, the kinds' pages and the first Q&A pages.
cp index.html sub*.html "${pages[@]:0:$delay_files}" "$work/small/"
cd "$src"
echo "site: $(ls "$work/site" | wc -l) files, $(du -sb "$work/site" | cut -f1) bytes;" \
     "over ${rtt} ms: $(ls "$work/small" | wc -l) files" >&2

# FTP: the tests' pyftpdlib server.
# started VARIABLE COMMAND...: starts a server that prints its port first; the port goes into
# VARIABLE.
started() {
    local variable="$1" file="$work/$1.port"
    shift
    "$@" >"$file" 2>/dev/null &
    pids+=("$!")
    for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
    printf -v "$variable" '%s' "$(head -1 "$file")"
}

mkdir -p "$work/ftp"
started ftp_port /usr/bin/python3 "$src/tests/publish/ftpserver.py" --root "$work/ftp" --user web --password pw

# SFTP: sshd with throw-away keys.
mkdir -p "$work/sshd" "$work/home/.ssh" "$work/sftp" /run/sshd
ssh-keygen -q -t ed25519 -N "" -f "$work/sshd/hostkey"
ssh-keygen -q -t ed25519 -N "" -f "$work/home/.ssh/id_ed25519"
cp "$work/home/.ssh/id_ed25519.pub" "$work/sshd/authorized_keys"
ssh_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/sshd/sshd_config" <<EOF
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $work/sshd/hostkey
PidFile $work/sshd/sshd.pid
AuthorizedKeysFile $work/sshd/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
MaxSessions 20
MaxStartups 20
Subsystem sftp internal-sftp
EOF
/usr/sbin/sshd -D -e -f "$work/sshd/sshd_config" 2>/dev/null &
pids+=("$!")
fingerprint=$(ssh-keygen -lf "$work/sshd/hostkey.pub" | cut -d' ' -f2)
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$ssh_port") 2>/dev/null && break; sleep 0.1; done

# The slow link.
started ftp_slow /usr/bin/python3 "$src/bench/delayproxy.py" --target-port "$ftp_port" --rtt-ms "$rtt" --ftp
started ssh_slow /usr/bin/python3 "$src/bench/delayproxy.py" --target-port "$ssh_port" --rtt-ms "$rtt"

key="$work/home/.ssh/id_ed25519"
ssh_cmd="ssh -a -x -i $key -o UserKnownHostsFile=/dev/null -o StrictHostKeyChecking=no -o LogLevel=ERROR"
ftp_pass=$(rclone obscure pw)
results="$work/results.txt"
: > "$results"

# run LABEL COMMAND...: wall and CPU seconds of one run, appended to the results.
run() {
    local label="$1" wall user sys
    shift
    if ! /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/run.err"; then
        echo "FAILED: $label" >&2
        tail -5 "$work/run.err" >&2
        return 0
    fi
    read -r wall user sys < "$work/time"
    printf '%-38s\t%8.2f s  cpu %7.2f s\n' "$label" "$wall" "$(awk "BEGIN { print $user + $sys }")" | tee -a "$results" >&2
}

n=0
for round in $(seq "$rounds"); do
    for link in $links; do
        if [ "$link" = loopback ]; then site="$work/site"; fp=$ftp_port; sp=$ssh_port
        else site="$work/small"; fp=$ftp_slow; sp=$ssh_slow; fi
        for proto in $protocols; do
            tag="$proto $link"
            n=$((n + 1)); d="d$n"
            if [ "$proto" = ftp ]; then
                run "$tag qadora-publish" env QADORA_PUBLISH_PASSWORD=pw "$publish" --quiet --yes "$site" "ftp://web@127.0.0.1:$fp/$d-q"
                if [ "$link" = loopback ]; then
                    run "$tag qadora nothing changed" env QADORA_PUBLISH_PASSWORD=pw "$publish" --quiet "$site" "ftp://web@127.0.0.1:$fp/$d-q"
                    echo "<!-- changed $round -->" >> "$site/qa100.html"
                    run "$tag qadora one change" env QADORA_PUBLISH_PASSWORD=pw "$publish" --quiet "$site" "ftp://web@127.0.0.1:$fp/$d-q"
                fi
                run "$tag lftp --parallel=1" lftp -u web,pw -p "$fp" -e "set ftp:passive-mode on; mirror -R --parallel=1 $site $d-l1; quit" 127.0.0.1
                run "$tag lftp --parallel=4" lftp -u web,pw -p "$fp" -e "set ftp:passive-mode on; mirror -R --parallel=4 $site $d-l4; quit" 127.0.0.1
                [ "$link" = loopback ] && run "$tag lftp nothing changed" lftp -u web,pw -p "$fp" -e "set ftp:passive-mode on; mirror -R --parallel=4 $site $d-l4; quit" 127.0.0.1
                mkdir -p "$work/ftp/$d-r" # rclone takes pyftpdlib's 501 for a missing folder as a failure
                [ "${RCLONE:-1}" = 1 ] && run "$tag rclone --transfers 4" rclone copy -q --transfers 4 "$site" ":ftp,host=127.0.0.1,port=$fp,user=web,pass=$ftp_pass:$d-r"
            else
                dest="$work/sftp/$d"
                run "$tag qadora-publish" env HOME="$work/home" "$publish" --quiet --yes --known-hosts "$work/kh-$n" --accept-host-key "$fingerprint" "$site" "sftp://root@127.0.0.1:$sp$dest-q"
                if [ "$link" = loopback ]; then
                    run "$tag qadora nothing changed" env HOME="$work/home" "$publish" --quiet --known-hosts "$work/kh-$n" "$site" "sftp://root@127.0.0.1:$sp$dest-q"
                    echo "<!-- changed s$round -->" >> "$site/qa100.html"
                    run "$tag qadora one change" env HOME="$work/home" "$publish" --quiet --known-hosts "$work/kh-$n" "$site" "sftp://root@127.0.0.1:$sp$dest-q"
                fi
                run "$tag lftp --parallel=1" lftp -e "set sftp:connect-program '$ssh_cmd'; mirror -R --parallel=1 $site $dest-l1; quit" "sftp://root:@127.0.0.1:$sp"
                run "$tag lftp --parallel=4" lftp -e "set sftp:connect-program '$ssh_cmd'; mirror -R --parallel=4 $site $dest-l4; quit" "sftp://root:@127.0.0.1:$sp"
                [ "$link" = loopback ] && run "$tag lftp nothing changed" lftp -e "set sftp:connect-program '$ssh_cmd'; mirror -R --parallel=4 $site $dest-l4; quit" "sftp://root:@127.0.0.1:$sp"
                [ "${RCLONE:-1}" = 1 ] && run "$tag rclone --transfers 4" rclone copy -q --transfers 4 --sftp-disable-hashcheck "$site" ":sftp,host=127.0.0.1,port=$sp,user=root,key_file=$key:$dest-r"
            fi
            rm -rf "$work/ftp/$d"-* "$work/sftp/$d"-*
        done
    done
done

echo
echo "Medians of $rounds rounds (wall, client CPU); ratio = the peer's wall time / qadora-publish's:"
/usr/bin/python3 - "$results" <<'EOF'
import collections, statistics, sys
runs = collections.defaultdict(list)
for line in open(sys.argv[1]):
    label, rest = line.split("\t")[0].strip(), line.split("\t")[1].split()
    runs[label].append((float(rest[0]), float(rest[3])))
groups = collections.OrderedDict()
for label in runs:
    proto, link, tool = label.split(" ", 2)
    groups.setdefault((proto, link), []).append(tool)
for (proto, link), tools in groups.items():
    ours = statistics.median(w for w, _ in runs[f"{proto} {link} qadora-publish"])
    print(f"{proto.upper()} over {link}:")
    for tool in tools:
        walls = [w for w, _ in runs[f"{proto} {link} {tool}"]]
        cpus = [c for _, c in runs[f"{proto} {link} {tool}"]]
        wall, cpu = statistics.median(walls), statistics.median(cpus)
        ratio = "" if "changed" in tool or "change" in tool else f"  ratio {wall / ours:5.2f}"
        print(f"  {tool:26} {wall:8.2f} s  cpu {cpu:7.2f} s{ratio}")
EOF
