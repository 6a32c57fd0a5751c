#!/usr/bin/env bash
# Peak memory against size: one Outbox file of each size goes out through the send worker and
# comes back through the receive worker (the stand-in delivers each upload as a mail with the
# message file attached), over TLS on 127.0.0.1; curl uploads and retrieves the same file in
# the same run. /usr/bin/time -v gives each process's peak resident memory. The stored
# attachment must end with the Outbox file byte for byte (checksums compared).
# usage: bench/size_bench.sh [BIN_DIR] [SIZES_IN_MB...]   (default sizes: 10 100 1024)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
shift || true
sizes=("${@:-10 100 1024}")
read -r -a sizes <<< "${sizes[*]}"
. "$root/bench/standin.sh"

cat > "$work/accounts.json" <<JSON
{"accounts": [{"email": "bench@send.example", "login": "S1", "password": "2468"},
              {"email": "bench@recv.example", "login": "R1", "password": "2468"},
              {"email": "peer@recv.example", "login": "P1", "password": "2468"}]}
JSON
standin_start "$work/accounts.json" --max-lifetime 0 --max-body $(( 4 << 30 )) --io-timeout 600
base="https://127.0.0.1:$port/webmail"

# Send side and receive side are two installations; the password 2468 is stored scrambled.
send_installation "$work/s/DVR" bench@recv.example "$base"
recv_installation "$work/r/DVR" bench@recv.example R1 "$base"

# Peak resident memory in MB and wall seconds of one command, from /usr/bin/time -v.
measure() {
  local out=$1; shift
  /usr/bin/time -v "$@" > "$out.stdout" 2> "$out.time" || { cat "$out.time" >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ {kb = $2}
    /Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]}
    END {printf "%7.1f MB %7.2f s", kb / 1024, s}' "$out.time"
}

printf '%-8s %-26s %-26s %-26s %-26s %s\n' size "send worker" "curl POST" "receive worker" \
  "curl GET" "round trip"
for mb in "${sizes[@]}"; do
  mkdir -p "$work/s/OUTBOX" "$work/peer"
  file="$work/A$mb.TXT"
  # Base64 text in lines of 76 with CR LF ends: the message file carries it unchanged.
  head -c $(( mb * 1024 * 1024 * 3 / 4 )) /dev/urandom | base64 -w 76 | sed 's/$/\r/' > "$file"
  sum=$(sha256sum < "$file" | cut -d' ' -f1)
  bytes=$(stat -c %s "$file")
  cp "$file" "$work/peer/A$mb.msg"
  cp "$file" "$work/s/OUTBOX/"
  send=$(measure "$work/send" "$bin/send_outbox" "$work/s/DVR/")
  [ -f "$work/s/SENTBOX/A$mb.TXT" ] || { echo "the send worker did not send it" >&2; exit 1; }
  post=$(measure "$work/post" curl -sfk -F "from=bench@send.example" -F "to=peer@recv.example" \
    -F "attfile=@$work/peer/A$mb.msg;type=text/plain" "$base/send?from=bench@send.example" -o /dev/null)
  recv=$(measure "$work/recv" "$bin/recv_mailbox" "$work/r/DVR/")
  stored=$(find "$work/r" -name "A$mb.msg" -newer "$file" | head -1)
  got=$([ -n "$stored" ] && tail -c "$bytes" "$stored" | sha256sum | cut -d' ' -f1)
  login="user=peer@recv.example&login=P1&pwd=2468"
  id=$(curl -sfk "$base/count?$login" | cut -d/ -f2 | cut -d';' -f1)
  get=$(measure "$work/get" curl -sfk "$base/retrieve?$login&id=$id" -o "$work/peer/got.eml")
  curl -sfk "$base/delete?$login&id=$id" > /dev/null
  whole=$([ "$got" = "$sum" ] && echo "whole (sha256 ${sum:0:12})" || echo "DIFFERS")
  printf '%-8s %-26s %-26s %-26s %-26s %s\n' "$mb MB" "$send" "$post" "$recv" "$get" "$whole"
  rm -f "$file" "$work/peer/"* "$stored" "$work/s/SENTBOX/A$mb.TXT"
  [ "$whole" != DIFFERS ] || exit 1
done
