#!/usr/bin/env bash
# What keeping the transfer history costs the send worker: 1,000 Outbox files of about 2 KB
# (by default) sent over TLS to the stand-in web-mail service on 127.0.0.1, each cycle's
# outcome recorded as the gateway records it. The recording (rows into the database) and
# the checksums the worker reads of each file it filed are timed apart and set against the
# whole send.
# usage: bench/history_bench.sh [BIN_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
files=${2:-1000}
. "$root/bench/standin.sh"

printf '{"accounts": [{"email": "bench@send.example", "login": "B1", "password": "bench"}]}' \
  > "$work/accounts.json"
standin_start "$work/accounts.json"

mkdir -p "$work/DVR" "$work/OUTBOX"
printf '[SYSTEM]\nLOG_LEVEL=1\nAUTOIMPORT=1\n[IDENTIFICATION]\nEMAIL_ADDR=bench@send.example\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=60\n[iFile]\nTXT=1\n' \
  > "$work/DVR/USER.INI"
printf '[SYSTEM]\nVERSION=1.0.0\n[IDX]\nA=ORDERS\n[ORDERS]\nEMAIL=orders@partner.example\nWebMailSender=https://127.0.0.1:%s/webmail/send?from=%%s\n' \
  "$port" > "$work/DVR/DVR.INI"
for i in $(seq -w 1 "$files"); do
  head -c 1500 /dev/urandom | base64 -w 76 > "$work/OUTBOX/A$i.TXT"
done
"$bin/send_outbox" "$work/DVR/" > "$work/send.out"
grep -q "LEFT 0" "$work/send.out" || { cat "$work/send.out" >&2; echo "files were left" >&2; exit 1; }
rows=$(sqlite3 "$work/LOG/history.db" 'SELECT count(*) FROM transfers')
read -r _ sent _ _ _ seconds _ record _ digest < "$work/send.out"
echo "$sent Outbox files of about 2 KB sent over TLS; $rows history rows"
awk -v s="$seconds" -v r="$record" -v d="$digest" 'BEGIN {
  printf "  send worker              %8.3f s\n", s
  printf "  checksums of filed files %8.3f s\n", d
  printf "  rows into the history    %8.3f s\n", r
  printf "  recording / send worker  %7.2f %%\n", 100 * (r + d) / s }'
