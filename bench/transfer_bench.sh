#!/usr/bin/env bash
# The send worker beside a curl loop, both against the stand-in web-mail service over TLS
# on 127.0.0.1, in the same run: 1,000 Outbox files of 2 KB (by default), each uploaded with
# one multipart POST. curl runs one process per file, as a script calling it would. The two
# take turns in four blocks, so that a busy machine weighs on both alike.
# usage: bench/transfer_bench.sh [BIN_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
files=${2:-1000}
. "$root/bench/standin.sh"

printf '{"accounts": [{"email": "bench@send.example", "login": "B1", "password": "bench"}]}' \
  > "$work/accounts.json"
standin_start "$work/accounts.json"
url="https://127.0.0.1:$port/webmail/send?from=bench@send.example"

mkdir -p "$work/OUTBOX" "$work/curl"
send_installation "$work/DVR" orders@partner.example "https://127.0.0.1:$port/webmail" 2
blocks=4
per_block=$(( files / blocks ))
for b in $(seq "$blocks"); do
  mkdir -p "$work/block$b" "$work/curl$b"
  for i in $(seq -w 1 "$per_block"); do
    head -c 1500 /dev/urandom | base64 -w 76 > "$work/block$b/A$b$i.TXT"
    cp "$work/block$b/A$b$i.TXT" "$work/curl$b/A$b$i.msg"
  done
done
now() { date +%s.%N; }
gateway=0; peer=0
for b in $(seq "$blocks"); do
  mv "$work/block$b"/* "$work/OUTBOX/"
  start=$(now)
  "$bin/send_outbox" "$work/DVR/" > "$work/send.out"
  gateway=$(awk -v t="$gateway" -v s="$start" -v e="$(now)" 'BEGIN {print t + e - s}')
  grep -q "LEFT 0" "$work/send.out" || { echo "the send worker left files behind" >&2; exit 1; }
  start=$(now)
  for f in "$work/curl$b"/*.msg; do
    curl -sfk -F "from=bench@send.example" -F "to=orders@partner.example" \
      -F "attfile=@$f;type=text/plain" "$url" -o /dev/null || { echo "curl failed" >&2; exit 1; }
  done
  peer=$(awk -v t="$peer" -v s="$start" -v e="$(now)" 'BEGIN {print t + e - s}')
done
files=$(( per_block * blocks ))

echo "$files Outbox files of about 2 KB uploaded over TLS, one POST each"
awk -v n="$files" -v g="$gateway" -v c="$peer" 'BEGIN {
  printf "  send worker %7.2f s  %7.1f files/s\n", g, n / g
  printf "  curl loop   %7.2f s  %7.1f files/s\n", c, n / c
  printf "  files per second, send worker / curl loop: %.2f\n", c / g }'
